// Storage of the scene's process-wide state.
#include "scene/scene_state.h"

float fAngle = 0.0f;
unsigned int uiTexture = 0;
