#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "Support/GlTestContext.h"
#include "VideoPipeline/View/VideoShaders.h"

namespace qm {
namespace {

TEST(VideoShaders, EveryProgramCompilesAndLinks) {
    test::GlTestContext context;
    Gl& gl = context.makeCurrent();
    for (const ShaderProgramSpec& spec : VideoShaders::all) {
        SCOPED_TRACE(std::string(spec.fragment));
        GlProgram program;
        EXPECT_NO_THROW(program = VideoShaders::build(gl, spec));
        EXPECT_TRUE(program);
    }
}

// Contrast-adaptive sharpening of an RGBA8 image held as rows of texels, on the CPU.
std::vector<std::uint8_t> sharpenOnCpu(const std::vector<std::uint8_t>& texels, int width,
                                       int height, double sharpness) {
    std::vector<std::uint8_t> out(texels.size());
    const auto at = [&](int x, int y, int channel) {
        x = std::clamp(x, 0, width - 1);
        y = std::clamp(y, 0, height - 1);
        return texels[std::size_t((y * width + x) * 4 + channel)] / 255.0;
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const double e = at(x, y, c);
                const double b = at(x, y - 1, c), d = at(x - 1, y, c);
                const double f = at(x + 1, y, c), h = at(x, y + 1, c);
                double value = e;
                if (sharpness > 0) {
                    const double mn = std::min({b, d, e, f, h});
                    const double mx = std::max({b, d, e, f, h});
                    const double amp = std::sqrt(
                        std::clamp(std::min(mn, 1 - mx) / std::max(mx, 1 / 255.0), 0.0, 1.0));
                    const double w = amp * (-0.2 * sharpness);
                    value = std::clamp((w * (b + d + f + h) + e) / (1 + 4 * w), 0.0, 1.0);
                }
                out[std::size_t((y * width + x) * 4 + c)] = std::uint8_t(std::lround(value * 255));
            }
            out[std::size_t((y * width + x) * 4 + 3)] = 255;
        }
    }
    return out;
}

TEST(VideoShaders, SharpeningFollowsTheFormulaToTheEdges) {
    constexpr int width = 7, height = 5;
    std::vector<std::uint8_t> texels(width * height * 4);
    for (std::size_t i = 0; i < texels.size(); ++i) {
        // An edge down the middle with some texture on both sides.
        const int x = int(i / 4) % width;
        texels[i] = std::uint8_t((x < 3 ? 40 : 200) + (i * 37) % 45);
    }
    test::GlTestContext context;
    Gl& gl = context.makeCurrent();
    const GlProgram program = VideoShaders::build(gl, VideoShaders::sharpen);
    GLuint vertexArray = 0;
    gl.glGenVertexArrays(1, &vertexArray);
    GlTexture source = makeTexture(gl, GL_RGBA8, GL_RGBA, width, height);
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE,
                       texels.data());
    GlTexture target = makeTexture(gl, GL_RGBA8, GL_RGBA, width, height);
    GlFramebuffer framebuffer = makeFramebuffer(gl);

    for (double sharpness : {0.0, 0.4, 1.0}) {
        SCOPED_TRACE(sharpness);
        gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.id());
        gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target.id(),
                                  0);
        gl.glViewport(0, 0, width, height);
        gl.glUseProgram(program.id());
        gl.glUniform2f(gl.glGetUniformLocation(program.id(), "origin"), 0, 0);
        gl.glUniform1f(gl.glGetUniformLocation(program.id(), "sharpness"), float(sharpness));
        gl.glActiveTexture(GL_TEXTURE0);
        gl.glBindTexture(GL_TEXTURE_2D, source.id());
        gl.glBindVertexArray(vertexArray);
        gl.glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        std::vector<std::uint8_t> drawn(texels.size());
        gl.glPixelStorei(GL_PACK_ALIGNMENT, 1);
        gl.glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, drawn.data());

        const std::vector<std::uint8_t> expected = sharpenOnCpu(texels, width, height, sharpness);
        int off = 0;
        for (std::size_t i = 0; i < drawn.size(); ++i) {
            off += std::abs(int(drawn[i]) - int(expected[i])) > 1;
        }
        EXPECT_EQ(off, 0);
        if (sharpness == 0) {
            EXPECT_EQ(drawn, expected);
        } else {
            EXPECT_NE(drawn, sharpenOnCpu(texels, width, height, 0));
        }
    }
    gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    gl.glDeleteVertexArrays(1, &vertexArray);
}

}  // namespace
}  // namespace qm
