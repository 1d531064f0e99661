#include "Telemetry/FlashTestPage.h"

#include "QuillmereCore/Base64.h"

namespace qm::FlashTestPage {

const std::string_view html =
    "<!doctype html><html><head><meta name=\"viewport\" "
    "content=\"width=device-width,initial-scale=1\">\n"
    "<meta name=\"color-scheme\" content=\"dark\"><title>Vantorel flash test</title>\n"
    "<style>html,body{margin:0;height:100%;background:#000}</style></head><body><script>\n"
    "let last=-1;\n"
    "function tick(){const g=Math.floor(Date.now()/500)%2;\n"
    "if(g!==last){last=g;document.body.style.background=g?'#00ff00':'#000000';}\n"
    "requestAnimationFrame(tick);}\n"
    "requestAnimationFrame(tick);\n"
    "</script></body></html>";

std::string dataURL() {
    return "data:text/html;base64," + base64(asBytes(html));
}

std::string openCommand(std::string_view url) {
    // Inside single quotes the phone's shell ends the quoting at a "'", so each one is written
    // as close, escaped quote, reopen.
    std::string command = "am start -a android.intent.action.VIEW -d '";
    for (const char c : url) {
        if (c == '\'') {
            command += "'\\''";
        } else {
            command += c;
        }
    }
    command += '\'';
    return command;
}

}  // namespace qm::FlashTestPage
