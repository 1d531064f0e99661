#include <gtest/gtest.h>

#include "Support/GlTestContext.h"
#include "VideoPipeline/View/GlObjects.h"

namespace qm {
namespace {

// Vertex arrays are per context: the same name in another context is another object.
TEST(GlObject, IsDeletedOnlyWithTheContextThatMadeItCurrent) {
    test::GlTestContext first;
    test::GlTestContext second;

    Gl& a = first.makeCurrent();
    GLuint name = 0;
    a.glGenVertexArrays(1, &name);
    a.glBindVertexArray(name);  // a generated name is an object once bound
    a.glBindVertexArray(0);
    auto own = std::make_unique<GlObject<&gl_delete::vertexArray>>(a, name);

    Gl& b = second.makeCurrent();
    GLuint other = 0;
    b.glGenVertexArrays(1, &other);
    ASSERT_EQ(other, name);
    b.glBindVertexArray(other);
    own.reset();  // goes while the other context is current
    EXPECT_TRUE(b.glIsVertexArray(other));
    b.glBindVertexArray(0);
    b.glDeleteVertexArrays(1, &other);

    first.makeCurrent();
    EXPECT_TRUE(a.glIsVertexArray(name));
    { GlObject<&gl_delete::vertexArray> again(a, name); }
    EXPECT_FALSE(a.glIsVertexArray(name));
}

}  // namespace
}  // namespace qm
