#pragma once

#include <string_view>

#include "VideoPipeline/View/GlObjects.h"

namespace qm {

// The entry points one program is linked from, by their names in the shader source.
struct ShaderProgramSpec {
    std::string_view vertex;
    std::string_view fragment;
};

// The GLSL of every drawing pass, compiled at run time. Samplers are bound to fixed units:
// luma 0, Cb (red) 1, Cr (green) 2; a pass reading a rendered picture takes it from unit 0.
struct VideoShaders {
    static constexpr ShaderProgramSpec nv12{"qm_fullscreen_vertex", "qm_nv12_fragment"};
    static constexpr ShaderProgramSpec nv12Bicubic{"qm_fullscreen_vertex",
                                                   "qm_nv12_bicubic_fragment"};
    static constexpr ShaderProgramSpec sharpen{"qm_cas_vertex", "qm_cas_fragment"};
    static constexpr ShaderProgramSpec upscale{"qm_cas_vertex", "qm_upscale_fragment"};
    static constexpr ShaderProgramSpec all[] = {nv12, nv12Bicubic, sharpen, upscale};

    static std::string_view source() noexcept;

    // Compiles and links one program with its samplers bound; throws VideoPipelineError with
    // the compiler's or linker's log.
    static GlProgram build(Gl& gl, ShaderProgramSpec spec);
};

}  // namespace qm
