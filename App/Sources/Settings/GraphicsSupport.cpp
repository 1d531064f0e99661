#include "Settings/GraphicsSupport.h"

#include "VideoPipeline/View/VideoRenderer.h"

namespace qm {

bool GraphicsSupport::upscaling() {
    static const bool supported = VideoRenderer::isUpscalingSupported();
    return supported;
}

bool GraphicsSupport::softwareRendering() {
    return VideoRenderer::isSoftwareRasterizer();
}

}  // namespace qm
