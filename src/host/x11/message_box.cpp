// A modal message box written with Xlib: the text, the caption as the window's title and an
// OK button, dismissed by a click on the button, Enter, Escape, space or the window manager's
// close. It is not shown when the server has no font to write with.
#include "host/x11/layer.h"

#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kMargin = 16;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;

// The core font draws Latin-1; other characters are shown as '?'.
std::vector<std::string> ToLatin1Lines(LPCWSTR text) {
    std::vector<std::string> lines(1);
    while (text != nullptr && *text != L'\0') {
        unsigned long c = NextCodePoint(&text);
        if (c == L'\n') {
            lines.emplace_back();
        } else if (c != L'\r') {
            lines.back() += c < 0x100 ? static_cast<char>(c) : '?';
        }
    }
    return lines;
}

struct BoxLayout {
    int width;
    int height;
    int lineHeight;
    int ascent;
    int buttonX;
    int buttonY;
};

BoxLayout LayOut(XFontStruct* font, const std::vector<std::string>& lines) {
    BoxLayout layout = {};
    layout.ascent = font->ascent;
    layout.lineHeight = font->ascent + font->descent + 2;
    int textWidth = 0;
    for (const std::string& line : lines) {
        textWidth =
            std::max(textWidth, XTextWidth(font, line.c_str(), static_cast<int>(line.size())));
    }
    layout.width = std::max(textWidth, kButtonWidth) + 2 * kMargin;
    layout.width = std::max(layout.width, 240);
    int textHeight = layout.lineHeight * static_cast<int>(lines.size());
    layout.buttonX = (layout.width - kButtonWidth) / 2;
    layout.buttonY = kMargin + textHeight + kMargin;
    layout.height = layout.buttonY + kButtonHeight + kMargin;
    return layout;
}

void Draw(Display* display, Window box, GC gc, XFontStruct* font,
          const std::vector<std::string>& lines, const BoxLayout& layout) {
    XClearWindow(display, box);
    int y = kMargin + layout.ascent;
    for (const std::string& line : lines) {
        XDrawString(display, box, gc, kMargin, y, line.c_str(), static_cast<int>(line.size()));
        y += layout.lineHeight;
    }
    XDrawRectangle(display, box, gc, layout.buttonX, layout.buttonY, kButtonWidth, kButtonHeight);
    const char label[] = "OK";
    int labelWidth = XTextWidth(font, label, 2);
    XDrawString(display, box, gc, layout.buttonX + (kButtonWidth - labelWidth) / 2,
                layout.buttonY + (kButtonHeight + font->ascent - font->descent) / 2, label, 2);
}

bool InButton(const BoxLayout& layout, int x, int y) {
    return x >= layout.buttonX && x < layout.buttonX + kButtonWidth && y >= layout.buttonY &&
           y < layout.buttonY + kButtonHeight;
}

Bool IsForBox(Display*, XEvent* event, XPointer box) {
    return event->xany.window == *reinterpret_cast<Window*>(box);
}

// Shows the box until it is dismissed; false, having shown nothing, when the server has no font
// to write with.
bool RunModalBox(Display* display, LPCWSTR text, LPCWSTR caption) {
    const AtomsX11& atoms = Layer().atoms;
    int screen = DefaultScreen(display);
    std::vector<std::string> lines = ToLatin1Lines(text);
    XFontStruct* font = XLoadQueryFont(display, "fixed");
    bool fontLoaded = font != nullptr;
    if (!fontLoaded) {
        font = XQueryFont(display, XGContextFromGC(DefaultGC(display, screen)));
    }
    if (font == nullptr) {
        return false;
    }
    BoxLayout layout = LayOut(font, lines);
    Window box = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0,
                                     static_cast<unsigned>(layout.width),
                                     static_cast<unsigned>(layout.height), 1,
                                     BlackPixel(display, screen), WhitePixel(display, screen));
    std::string title = ToUtf8(caption);
    std::vector<std::string> titleLatin1 = ToLatin1Lines(caption);
    XStoreName(display, box, titleLatin1[0].c_str());
    XChangeProperty(display, box, atoms.netWmName, atoms.utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
    Atom protocols[] = {atoms.wmDeleteWindow};
    XSetWMProtocols(display, box, protocols, 1);
    XSelectInput(display, box,
                 ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                     StructureNotifyMask);
    GC gc = XCreateGC(display, box, 0, nullptr);
    XSetFont(display, gc, font->fid);
    XSetForeground(display, gc, BlackPixel(display, screen));
    // Shown before the program's window (as when OpenGL fails at start-up), the box is what the
    // launcher waits for.
    ClaimStartupX11(box);
    XMapRaised(display, box);

    bool pressedOnButton = false;
    for (bool done = false; !done;) {
        XEvent event;
        // Only this box's events are taken; the other windows' stay queued for the caller.
        XIfEvent(display, &event, IsForBox, reinterpret_cast<XPointer>(&box));
        switch (event.type) {
        case MapNotify:
            CompleteStartupX11(box);
            // NOTE: a window manager may report the box mapped while its frame is not yet, and
            // focus on a window that is not viewable is a BadMatch that would end the program;
            // the box then simply opens without the focus.
            BeginErrorTrapX11(display);
            XSetInputFocus(display, box, RevertToParent, CurrentTime);
            EndErrorTrapX11(display);
            break;
        case Expose:
            if (event.xexpose.count == 0) {
                Draw(display, box, gc, font, lines, layout);
            }
            break;
        case KeyPress: {
            KeySym key = XLookupKeysym(&event.xkey, 0);
            done = key == XK_Return || key == XK_KP_Enter || key == XK_Escape || key == XK_space;
            break;
        }
        case ButtonPress:
            pressedOnButton = InButton(layout, event.xbutton.x, event.xbutton.y);
            break;
        case ButtonRelease:
            done = pressedOnButton && InButton(layout, event.xbutton.x, event.xbutton.y);
            break;
        case ClientMessage:
            done = static_cast<Atom>(event.xclient.data.l[0]) == atoms.wmDeleteWindow;
            break;
        default:
            break;
        }
    }
    XFreeGC(display, gc);
    XDestroyWindow(display, box);
    if (fontLoaded) {
        XFreeFont(display, font);
    } else {
        XFreeFontInfo(nullptr, font, 1);
    }
    XFlush(display);
    return true;
}

} // namespace

bool MessageBoxX11(LPCWSTR text, LPCWSTR caption) {
    if (!RunModalBox(Layer().display, text, caption)) {
        std::fputs("X11: no font for a message box\n", stderr);
        return false;
    }
    return true;
}
