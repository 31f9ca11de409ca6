// Test sessions only, on GNOME 45 and later, which load extensions as modules: the same as
// ../gnome-extension/extension.js. The whole-program tests find, resize and close windows through
// the shell's Eval method and take pictures through its Screenshot methods, which both answer only
// in unsafe mode. The shell starts in the overview; the tests want the desktop, as after a click.
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

export default class UnsafeMode extends Extension {
    enable() {
        global.context.unsafe_mode = true;
        if (Main.layoutManager._startingUp)
            Main.layoutManager.connect('startup-complete', () => Main.overview.hide());
        else
            Main.overview.hide();
    }

    disable() {
        global.context.unsafe_mode = false;
    }
}
