#include "VideoPipeline/View/VideoShaders.h"

#include <string>

#include <fmt/format.h>

#include "VideoPipeline/VideoPipelineError.h"

namespace qm {

namespace {

// One text for every entry point: the stage and the entry are chosen by the lines put before
// it. Texture row 0 of a decoded plane is the picture's top row; pictures rendered by these
// passes are stored the OpenGL way up, so passes reading them go by window position.
constexpr std::string_view shaderSource = R"glsl(
#ifdef QM_VERTEX_STAGE

const vec2 qm_positions[4] =
    vec2[4](vec2(-1.0, -1.0), vec2(1.0, -1.0), vec2(-1.0, 1.0), vec2(1.0, 1.0));
const vec2 qm_uvs[4] = vec2[4](vec2(0.0, 1.0), vec2(1.0, 1.0), vec2(0.0, 0.0), vec2(1.0, 0.0));

// The drawn rectangle in clip space (left, bottom, right, top), so that a picture may start
// between pixels.
uniform vec4 clipRect;
out vec2 uv;

void qm_fullscreen_vertex() {
    vec2 corner = qm_positions[gl_VertexID] * 0.5 + 0.5;
    gl_Position = vec4(mix(clipRect.xy, clipRect.zw, corner), 0.0, 1.0);
    uv = qm_uvs[gl_VertexID];
}

void qm_cas_vertex() {
    gl_Position = vec4(qm_positions[gl_VertexID], 0.0, 1.0);
    uv = vec2(0.0);
}

#else

in vec2 uv;
out vec4 fragColor;

uniform sampler2D lumaTexture;
uniform sampler2D cbTexture;  // Cb in red
uniform sampler2D crTexture;  // Cr in green
uniform mat3 colorMatrix;
uniform vec4 range;  // luma offset, luma scale, chroma offset, chroma scale

vec4 qm_to_rgb(float luma) {
    vec2 chroma = vec2(texture(cbTexture, uv).r, texture(crTexture, uv).g);
    float y = (luma - range.x) * range.y;
    vec2 cbcr = (chroma - range.z) * range.w;
    return vec4(clamp(colorMatrix * vec3(y, cbcr), 0.0, 1.0), 1.0);
}

void qm_nv12_fragment() {
    fragColor = qm_to_rgb(texture(lumaTexture, uv).r);
}

// Where a Catmull-Rom sample at texel position `pos` reads, per axis: the texel centre p1 before
// it, and three bilinear taps (the middle one merging texels 1 and 2) with their weights.
struct QmCatmullRomTaps {
    vec2 p1;
    vec2 t0, t12, t3;
    vec2 w0, w12, w3;
};

QmCatmullRomTaps qm_catmull_rom_taps(vec2 pos, vec2 size) {
    QmCatmullRomTaps taps;
    taps.p1 = floor(pos - 0.5) + 0.5;
    vec2 f = pos - taps.p1;
    taps.w0 = f * (-0.5 + f * (1.0 - 0.5 * f));
    vec2 w1 = 1.0 + f * f * (-2.5 + 1.5 * f);
    vec2 w2 = f * (0.5 + f * (2.0 - 1.5 * f));
    taps.w3 = f * f * (-0.5 + 0.5 * f);
    taps.w12 = w1 + w2;
    taps.t0 = (taps.p1 - 1.0) / size;
    taps.t3 = (taps.p1 + 2.0) / size;
    taps.t12 = (taps.p1 + w2 / taps.w12) / size;
    return taps;
}

// The 2x2 texels around a sample at texel position p1 (a texel centre) and the one after it.
void qm_block_range(sampler2D tex, vec2 p1, out vec4 lo, out vec4 hi) {
    ivec2 last = textureSize(tex, 0) - 1;
    ivec2 base = ivec2(p1 - 0.5);
    vec4 a = texelFetch(tex, clamp(base, ivec2(0), last), 0);
    vec4 b = texelFetch(tex, clamp(base + ivec2(1, 0), ivec2(0), last), 0);
    vec4 c = texelFetch(tex, clamp(base + ivec2(0, 1), ivec2(0), last), 0);
    vec4 d = texelFetch(tex, clamp(base + ivec2(1, 1), ivec2(0), last), 0);
    lo = min(min(a, b), min(c, d));
    hi = max(max(a, b), max(c, d));
}

// Catmull-Rom on the red channel from five bilinear taps (the corners of the 4x4 kernel
// dropped, the rest renormalised), kept within its 2x2 block so edges get no halo.
float catmull_rom_clamped(sampler2D tex, vec2 coord) {
    vec2 size = vec2(textureSize(tex, 0));
    QmCatmullRomTaps k = qm_catmull_rom_taps(coord * size, size);

    float top = k.w12.x * k.w0.y;
    float left = k.w0.x * k.w12.y;
    float centre = k.w12.x * k.w12.y;
    float right = k.w3.x * k.w12.y;
    float bottom = k.w12.x * k.w3.y;
    float sum = texture(tex, vec2(k.t12.x, k.t0.y)).r * top +
                texture(tex, vec2(k.t0.x, k.t12.y)).r * left + texture(tex, k.t12).r * centre +
                texture(tex, vec2(k.t3.x, k.t12.y)).r * right +
                texture(tex, vec2(k.t12.x, k.t3.y)).r * bottom;
    float value = sum / (top + left + centre + right + bottom);

    vec4 lo, hi;
    qm_block_range(tex, k.p1, lo, hi);
    return clamp(value, lo.r, hi.r);
}

void qm_nv12_bicubic_fragment() {
    fragColor = qm_to_rgb(catmull_rom_clamped(lumaTexture, uv));
}

uniform sampler2D sourceTexture;

// Contrast-adaptive sharpening, cross-shaped: one output pixel per source texel.
uniform vec2 origin;  // window position of the sharpened rectangle's first pixel
uniform float sharpness;

vec3 qm_source_texel(ivec2 p, ivec2 last) {
    return texelFetch(sourceTexture, clamp(p, ivec2(0), last), 0).rgb;
}

void qm_cas_fragment() {
    ivec2 last = textureSize(sourceTexture, 0) - 1;
    ivec2 p = clamp(ivec2(gl_FragCoord.xy - origin), ivec2(0), last);
    vec3 e = texelFetch(sourceTexture, p, 0).rgb;
    if (sharpness <= 0.0) {
        fragColor = vec4(e, 1.0);
        return;
    }
    vec3 b = qm_source_texel(p + ivec2(0, -1), last);
    vec3 d = qm_source_texel(p + ivec2(-1, 0), last);
    vec3 f = qm_source_texel(p + ivec2(1, 0), last);
    vec3 h = qm_source_texel(p + ivec2(0, 1), last);
    vec3 mn = min(min(min(b, d), min(f, h)), e);
    vec3 mx = max(max(max(b, d), max(f, h)), e);
    vec3 amp = sqrt(clamp(min(mn, 1.0 - mx) / max(mx, vec3(1.0 / 255.0)), 0.0, 1.0));
    vec3 w = amp * (-0.2 * sharpness);
    vec3 c = (w * (b + d + f + h) + e) / (1.0 + 4.0 * w);
    fragColor = vec4(clamp(c, 0.0, 1.0), 1.0);
}

// Spatial upscaling: full Catmull-Rom from nine bilinear taps, clamped to the 2x2 block around
// each sample against ringing.
uniform vec2 inputScale;  // input size over output size

vec3 qm_upscale_row(QmCatmullRomTaps k, float y) {
    return texture(sourceTexture, vec2(k.t0.x, y)).rgb * k.w0.x +
           texture(sourceTexture, vec2(k.t12.x, y)).rgb * k.w12.x +
           texture(sourceTexture, vec2(k.t3.x, y)).rgb * k.w3.x;
}

void qm_upscale_fragment() {
    vec2 size = vec2(textureSize(sourceTexture, 0));
    QmCatmullRomTaps k = qm_catmull_rom_taps(gl_FragCoord.xy * inputScale, size);
    vec3 c = qm_upscale_row(k, k.t0.y) * k.w0.y + qm_upscale_row(k, k.t12.y) * k.w12.y +
             qm_upscale_row(k, k.t3.y) * k.w3.y;

    vec4 lo, hi;
    qm_block_range(sourceTexture, k.p1, lo, hi);
    fragColor = vec4(clamp(c, lo.rgb, hi.rgb), 1.0);
}

#endif

void main() {
    QM_ENTRY();
}
)glsl";

GlShader compile(Gl& gl, GLenum stage, std::string_view entry) {
    const std::string prelude =
        fmt::format("#version 330 core\n{}#define QM_ENTRY {}\n",
                    stage == GL_VERTEX_SHADER ? "#define QM_VERTEX_STAGE\n" : "", entry);
    const GLchar* parts[] = {prelude.c_str(), shaderSource.data()};
    const GLint lengths[] = {static_cast<GLint>(prelude.size()),
                             static_cast<GLint>(shaderSource.size())};
    GlShader shader(gl, gl.glCreateShader(stage));
    if (!shader) {
        throw VideoPipelineError::renderer(fmt::format("{}: no shader object", entry));
    }
    gl.glShaderSource(shader.id(), 2, parts, lengths);
    gl.glCompileShader(shader.id());
    GLint compiled = GL_FALSE;
    gl.glGetShaderiv(shader.id(), GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        std::string log(4096, '\0');
        GLsizei length = 0;
        gl.glGetShaderInfoLog(shader.id(), static_cast<GLsizei>(log.size()), &length, log.data());
        log.resize(static_cast<std::size_t>(length));
        throw VideoPipelineError::renderer(fmt::format("{} did not compile: {}", entry, log));
    }
    return shader;
}

}  // namespace

std::string_view VideoShaders::source() noexcept {
    return shaderSource;
}

GlProgram VideoShaders::build(Gl& gl, ShaderProgramSpec spec) {
    const GlShader vertex = compile(gl, GL_VERTEX_SHADER, spec.vertex);
    const GlShader fragment = compile(gl, GL_FRAGMENT_SHADER, spec.fragment);
    GlProgram program(gl, gl.glCreateProgram());
    if (!program) {
        throw VideoPipelineError::renderer(fmt::format("{}: no program object", spec.fragment));
    }
    gl.glAttachShader(program.id(), vertex.id());
    gl.glAttachShader(program.id(), fragment.id());
    gl.glBindFragDataLocation(program.id(), 0, "fragColor");
    gl.glLinkProgram(program.id());
    gl.glDetachShader(program.id(), vertex.id());
    gl.glDetachShader(program.id(), fragment.id());
    GLint linked = GL_FALSE;
    gl.glGetProgramiv(program.id(), GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        std::string log(4096, '\0');
        GLsizei length = 0;
        gl.glGetProgramInfoLog(program.id(), static_cast<GLsizei>(log.size()), &length, log.data());
        log.resize(static_cast<std::size_t>(length));
        throw VideoPipelineError::renderer(
            fmt::format("{} + {} did not link: {}", spec.vertex, spec.fragment, log));
    }
    gl.glUseProgram(program.id());
    const std::pair<const char*, GLint> units[] = {
        {"lumaTexture", 0}, {"cbTexture", 1}, {"crTexture", 2}, {"sourceTexture", 0}};
    for (const auto& [name, unit] : units) {
        const GLint location = gl.glGetUniformLocation(program.id(), name);
        if (location >= 0) {
            gl.glUniform1i(location, unit);
        }
    }
    // A pass that draws the whole picture by default.
    const GLint clipRect = gl.glGetUniformLocation(program.id(), "clipRect");
    if (clipRect >= 0) {
        gl.glUniform4f(clipRect, -1.0f, -1.0f, 1.0f, 1.0f);
    }
    gl.glUseProgram(0);
    return program;
}

}  // namespace qm
