// Captures XInput2 raw events as libxcb hands them over, for the raw mouse tests and the
// raw_motion fuzzer's seeds: relative pointer motion and a button click made with XTest on the
// display in DISPLAY (Xvfb). Each event is written to OUT_DIR/<name>.xge.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <xcb/xcb.h>
#include <xcb/xinput.h>
#include <xcb/xtest.h>

namespace {

struct Capture {
    const char* name;
    std::uint8_t type;  // XCB_MOTION_NOTIFY or XCB_BUTTON_PRESS
    std::int16_t dx;
    std::int16_t dy;
};

constexpr Capture captures[] = {
    {"motion-right-up", XCB_MOTION_NOTIFY, 5, -3},
    {"motion-left-down", XCB_MOTION_NOTIFY, -120, 40},
    {"motion-x-only", XCB_MOTION_NOTIFY, 7, 0},
    {"button-press", XCB_BUTTON_PRESS, 0, 0},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: capture_raw_motion OUT_DIR\n");
        return 2;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "capture_raw_motion: no X display\n");
        return 1;
    }
    std::free(xcb_input_xi_query_version_reply(
        connection, xcb_input_xi_query_version(connection, 2, 2), nullptr));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           XCB_INPUT_XI_EVENT_MASK_RAW_MOTION | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
    xcb_input_xi_select_events(connection, root, 1, &mask.head);
    // Away from the corner, so no motion is clipped at the screen's edge.
    xcb_test_fake_input(connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, 400, 300, 0);
    xcb_flush(connection);
    std::free(xcb_wait_for_event(connection));  // the absolute move's own

    for (const Capture& capture : captures) {
        if (capture.type == XCB_BUTTON_PRESS) {
            xcb_test_fake_input(connection, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                                0);
            xcb_test_fake_input(connection, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                                0);
        } else {
            // Detail 1: relative motion.
            xcb_test_fake_input(connection, XCB_MOTION_NOTIFY, 1, XCB_CURRENT_TIME, XCB_NONE,
                                capture.dx, capture.dy, 0);
        }
        xcb_flush(connection);
        xcb_generic_event_t* event = xcb_wait_for_event(connection);
        if (!event) {
            std::fprintf(stderr, "capture_raw_motion: the display went away\n");
            return 1;
        }
        const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
        // libxcb keeps the full sequence after the 32-byte event, then the event's extra words.
        const std::size_t size = 36 + std::size_t(generic->length) * 4;
        std::ofstream(std::string(argv[1]) + "/" + capture.name + ".xge", std::ios::binary)
            .write(reinterpret_cast<const char*>(event), std::streamsize(size));
        std::free(event);
    }
    xcb_disconnect(connection);
    return 0;
}
