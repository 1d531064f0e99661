#include "AudioPipeline/AlsaLog.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include <alsa/asoundlib.h>

#include "QuillmereCore/Log.h"

namespace qm {

namespace {

// In the form of libasound's own lines, which a search for the message finds.
void toLog(const char* file, int line, const char* function, int error, const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    const std::string reason = error != 0 ? std::string(": ") + snd_strerror(error) : "";
    Log::audio().debug("ALSA lib {}:{}:({}) {}{}", file ? file : "", line, function ? function : "",
                       text, reason);
}

}  // namespace

void routeAlsaLog() {
    snd_lib_error_set_handler(toLog);
}

}  // namespace qm
