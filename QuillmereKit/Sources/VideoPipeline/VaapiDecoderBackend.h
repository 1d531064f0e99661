#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "VideoPipeline/VaapiDevice.h"
#include "VideoPipeline/VideoDecoderBackend.h"

namespace qm {

struct HardwareDecodingOptions {
    // Set to anything but "" or "0": decode in software.
    static constexpr const char* forceSoftwareVariable = "VANTOREL_SOFTWARE_DECODER";
    // A render node such as /dev/dri/renderD129, for a machine with more than one GPU.
    static constexpr const char* renderNodeVariable = "VANTOREL_VAAPI_DEVICE";

    bool forceSoftware = false;
    std::string renderNode;  // empty: the one the system offers
    // A hardware failure hands the access units since the last key frame to the software
    // decoder while they are at most this many; past that, replaying them would stall the
    // stream longer than the decoder's recovery takes to get a key frame from the phone.
    std::size_t replayLimit = 30;
    SoftwareDecoderOptions software;

    // `lookup` reads one environment variable: std::getenv in the app.
    static HardwareDecodingOptions fromEnvironment(
        const std::function<const char*(const char*)>& lookup);
};

// Decodes on `device` when it opens and takes the stream, in software otherwise. The choice is
// made once for the stream: a device that is missing, refuses the stream's profile or size,
// fails to create its decoder, fails a picture or is lost hands over to software for the rest
// of the stream, with one log line saying why. Pictures come out as NV12 in system memory, so
// nothing above the backend changes.
std::unique_ptr<VideoDecoderBackend> makeVaapiDecoderBackend(HardwareDecodingOptions options,
                                                             std::unique_ptr<VaapiDevice> device);

// The backend of every stream: VAAPI as this process's environment asks.
std::unique_ptr<VideoDecoderBackend> makePreferredDecoderBackend();

}  // namespace qm
