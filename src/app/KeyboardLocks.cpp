#include "app/KeyboardLocks.h"

#include <QGuiApplication>

#if defined(KELVASTRA_HAVE_X11)
#include <QtGui/qguiapplication_platform.h>

#include <X11/XKBlib.h>
#endif

std::optional<std::array<bool, 3>> KeyboardLockStates() {
#if defined(KELVASTRA_HAVE_X11) && QT_CONFIG(xcb)
    const auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return std::nullopt;
    // The indicators are found by name: their bit positions differ between keyboard maps.
    static const char* const kNames[3] = {"Caps Lock", "Num Lock", "Scroll Lock"};
    std::array<bool, 3> states{};
    for (int i = 0; i < 3; ++i) {
        const Atom name = XInternAtom(display, kNames[i], True);
        Bool on = False;
        if (name == None || !XkbGetNamedIndicator(display, name, nullptr, &on, nullptr, nullptr))
            return std::nullopt;
        states[static_cast<size_t>(i)] = on == True;
    }
    return states;
#else
    return std::nullopt;
#endif
}
