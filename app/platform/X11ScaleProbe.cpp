#include "X11ScaleProbe.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xinerama.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Windows reports a logical DPI of 96 times the user's scale (100 %, 125 %, 150 %, ...). An X
// server without an Xft.dpi setting reports its physical DPI instead, rounded through whole
// millimetres: 100 dpi would scale by 1.04 and 144 dpi by 1.499, blurring every picture and
// missing the window's size by pixels. So on X the factor of each screen is taken in steps of
// a quarter, as Windows offers them.
//
// The DPI is read from the X server the way Qt's X11 platform reads it for
// QScreen::logicalDotsPerInch, so that the factors are the ones a short-lived QGuiApplication
// would find, without starting the platform twice: Xft.dpi from the resource manager when it is
// set, otherwise the X screen's size in pixels over its size in millimetres, at least 96 on
// each axis. That DPI is one per X screen; Qt makes one QScreen per enabled RandR output on it,
// with the primary one first, and QT_SCREEN_SCALE_FACTORS lists factors in that order.

struct FreeDeleter
{
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

struct ConnectionDeleter
{
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

// What the platform plugin would take: `-platform` and `-display` (also with two dashes) win
// over QT_QPA_PLATFORM and DISPLAY.
struct QtArguments
{
    QByteArray platform;
    QByteArray display;
};

QtArguments qtArguments(int argc, char** argv)
{
    QtArguments found{qgetenv("QT_QPA_PLATFORM"), QByteArray()};
    for (int i = 1; i + 1 < argc; ++i) {
        const char* arg = argv[i];
        if (!arg || arg[0] != '-') {
            continue;
        }
        if (arg[1] == '-') {
            ++arg;
        }
        if (std::strcmp(arg, "-platform") == 0) {
            found.platform = argv[++i];
        } else if (std::strcmp(arg, "-display") == 0) {
            found.display = argv[++i];
        }
    }
    return found;
}

// Xft.dpi as xrdb writes it ("Xft.dpi:\t144"), a fraction rounded; 0 when it is not set.
int resourceDpi(xcb_connection_t* connection, xcb_window_t root)
{
    QByteArray resources;
    for (uint32_t offset = 0;;) {
        const Reply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(connection,
                                   xcb_get_property_unchecked(connection, false, root, XCB_ATOM_RESOURCE_MANAGER,
                                                              XCB_ATOM_STRING, offset / 4, 8192),
                                   nullptr));
        if (!reply || reply->format != 8 || reply->type != XCB_ATOM_STRING) {
            break;
        }
        const int length = xcb_get_property_value_length(reply.get());
        resources += QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
        offset += static_cast<uint32_t>(length);
        if (reply->bytes_after == 0) {
            break;
        }
    }
    int dpi = 0;
    const QByteArray key("Xft.dpi:\t");
    for (const QByteArray& line : resources.split('\n')) {
        if (line.startsWith(key)) {
            const QByteArray text = line.mid(key.size());
            bool ok = false;
            int value = text.toInt(&ok);
            if (!ok) {
                value = qRound(text.toDouble(&ok));
            }
            if (ok) {
                dpi = value;
            }
        }
    }
    return dpi;
}

double screenDpi(xcb_connection_t* connection, const xcb_screen_t* screen)
{
    const int forced = resourceDpi(connection, screen->root);
    if (forced > 0) {
        return forced;
    }
    if (screen->width_in_millimeters == 0 || screen->height_in_millimeters == 0) {
        return 96.0;
    }
    const double x = std::max(25.4 * screen->width_in_pixels / screen->width_in_millimeters, 96.0);
    const double y = std::max(25.4 * screen->height_in_pixels / screen->height_in_millimeters, 96.0);
    return (x + y) * 0.5;
}

bool hasRandr12(xcb_connection_t* connection)
{
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_randr_id);
    if (!extension || !extension->present) {
        return false;
    }
    const Reply<xcb_randr_query_version_reply_t> version(xcb_randr_query_version_reply(
        connection, xcb_randr_query_version(connection, XCB_RANDR_MAJOR_VERSION, XCB_RANDR_MINOR_VERSION), nullptr));
    return version && (version->major_version > 1 || (version->major_version == 1 && version->minor_version >= 2));
}

// Qt asks Xinerama for the heads only when RandR is missing, and then for every X screen alike.
int xineramaScreenCount(xcb_connection_t* connection)
{
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_xinerama_id);
    if (!extension || !extension->present) {
        return 0;
    }
    const Reply<xcb_xinerama_is_active_reply_t> active(
        xcb_xinerama_is_active_reply(connection, xcb_xinerama_is_active(connection), nullptr));
    if (!active || !active->state) {
        return 0;
    }
    const Reply<xcb_xinerama_query_screens_reply_t> screens(
        xcb_xinerama_query_screens_reply(connection, xcb_xinerama_query_screens(connection), nullptr));
    return screens ? xcb_xinerama_query_screens_screen_info_length(screens.get()) : 0;
}

// How many QScreens Qt makes for this X screen: its connected, enabled RandR outputs (or, without
// RandR, the Xinerama heads), or one standing for the whole X screen when there are none.
int qtScreenCount(xcb_connection_t* connection, const xcb_screen_t* screen, bool randr)
{
    if (!randr) {
        return std::max(xineramaScreenCount(connection), 1);
    }
    const Reply<xcb_randr_get_screen_resources_current_reply_t> current(xcb_randr_get_screen_resources_current_reply(
        connection, xcb_randr_get_screen_resources_current(connection, screen->root), nullptr));
    if (!current) {
        return 1;
    }
    Reply<xcb_randr_get_screen_resources_reply_t> full;
    xcb_timestamp_t timestamp = current->config_timestamp;
    const xcb_randr_output_t* outputs = xcb_randr_get_screen_resources_current_outputs(current.get());
    int outputCount = xcb_randr_get_screen_resources_current_outputs_length(current.get());
    if (outputCount == 0) {
        // The current configuration may not be known yet; the full query makes the server look.
        full.reset(xcb_randr_get_screen_resources_reply(
            connection, xcb_randr_get_screen_resources(connection, screen->root), nullptr));
        if (!full) {
            return 1;
        }
        timestamp = full->config_timestamp;
        outputs = xcb_randr_get_screen_resources_outputs(full.get());
        outputCount = xcb_randr_get_screen_resources_outputs_length(full.get());
    }
    if (outputCount == 0) {
        return 1;
    }
    // Qt looks at the outputs only when the primary one can be asked for.
    const Reply<xcb_randr_get_output_primary_reply_t> primary(xcb_randr_get_output_primary_reply(
        connection, xcb_randr_get_output_primary(connection, screen->root), nullptr));
    if (!primary) {
        return 1;
    }
    int enabled = 0;
    for (int i = 0; i < outputCount; ++i) {
        const Reply<xcb_randr_get_output_info_reply_t> output(xcb_randr_get_output_info_reply(
            connection, xcb_randr_get_output_info_unchecked(connection, outputs[i], timestamp), nullptr));
        if (output && output->connection == XCB_RANDR_CONNECTION_CONNECTED && output->crtc != XCB_NONE) {
            ++enabled;
        }
    }
    return std::max(enabled, 1);
}

} // namespace

namespace X11ScaleProbe {

bool snapScaleFactors(int argc, char** argv, std::shared_ptr<void>& hold)
{
    const QtArguments qt = qtArguments(argc, argv);
    if (qEnvironmentVariableIsSet("QT_SCREEN_SCALE_FACTORS")) {
        return true;
    }
    // The offscreen and minimal platforms have no monitor: their one screen claims 100 dpi,
    // which would run the program at 104 % and load every @2x picture for it. A factor wanted
    // there is given with QT_SCALE_FACTOR, which Qt applies with pixel-density scaling off too.
    if (qt.platform.startsWith("offscreen") || qt.platform.startsWith("minimal")) {
        return false;
    }
    if (!qt.platform.isEmpty() && !qt.platform.startsWith("xcb")) {
        return true;
    }
    int primaryNumber = 0;
    const std::shared_ptr<xcb_connection_t> connection(
        xcb_connect(qt.display.isEmpty() ? nullptr : qt.display.constData(), &primaryNumber), ConnectionDeleter());
    hold = connection;
    if (!connection || xcb_connection_has_error(connection.get())) {
        // Qt cannot start on this display either, and says why itself.
        return true;
    }
    const bool randr = hasRandr12(connection.get());
    QStringList factors;
    QString primaryFactor;
    int number = 0;
    for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection.get())); it.rem;
         xcb_screen_next(&it), ++number) {
        const double quarters = std::round(screenDpi(connection.get(), it.data) / 96.0 * 4.0);
        const QString factor = QString::number(std::max(1.0, quarters / 4.0));
        int count = qtScreenCount(connection.get(), it.data, randr);
        // One screen of the X screen the display names is the primary one: first in Qt's list.
        if (number == primaryNumber) {
            primaryFactor = factor;
            --count;
        }
        for (int i = 0; i < count; ++i) {
            factors << factor;
        }
    }
    if (primaryFactor.isEmpty()) {
        return true;
    }
    factors.prepend(primaryFactor);
    if (std::all_of(factors.cbegin(), factors.cend(), [](const QString& f) { return f == QLatin1String("1"); })) {
        return false;
    }
    qputenv("QT_SCREEN_SCALE_FACTORS", factors.join(QLatin1Char(';')).toLatin1());
    return true;
}

} // namespace X11ScaleProbe
