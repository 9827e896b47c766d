// Pictures written into EGL images from the component's own thread and context: read back
// through the client's context, they equal the RGBA pictures the component writes into plain
// buffers.
#include "refcore_stream.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

using namespace refcore_test;

namespace
{

const std::string kVector = std::string(OMX_SHARED_MEDIA_DIR) + "/vp8/vp80-00-comprehensive-001.ivf";
constexpr int kW = 176, kH = 144, kH32 = 160;

// The client side: a display, a context current on the test thread, and texture-backed images
// (the kind of image this machine's EGL can make).
class EglClient
{
public:
    bool open()
    {
        auto get_platform_display =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (get_platform_display)
            dpy_ = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (dpy_ == EGL_NO_DISPLAY)
            dpy_ = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        if (dpy_ == EGL_NO_DISPLAY || !eglInitialize(dpy_, nullptr, nullptr))
            return false;
        eglBindAPI(EGL_OPENGL_ES_API);
        const EGLint attrs[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
        ctx_ = eglCreateContext(dpy_, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attrs);
        if (ctx_ == EGL_NO_CONTEXT || !eglMakeCurrent(dpy_, EGL_NO_SURFACE, EGL_NO_SURFACE, ctx_))
            return false;
        create_image_ = reinterpret_cast<PFNEGLCREATEIMAGEKHRPROC>(eglGetProcAddress("eglCreateImageKHR"));
        destroy_image_ = reinterpret_cast<PFNEGLDESTROYIMAGEKHRPROC>(eglGetProcAddress("eglDestroyImageKHR"));
        return create_image_ && destroy_image_;
    }
    ~EglClient()
    {
        if (dpy_ == EGL_NO_DISPLAY)
            return;
        for (auto img : images)
            destroy_image_(dpy_, img);
        if (!textures.empty())
            glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
        eglMakeCurrent(dpy_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (ctx_ != EGL_NO_CONTEXT)
            eglDestroyContext(dpy_, ctx_);
        eglTerminate(dpy_);
        eglReleaseThread();
    }
    bool make_image(int w, int h)
    {
        GLuint tex = 0;
        glGenTextures(1, &tex);
        glBindTexture(GL_TEXTURE_2D, tex);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        const EGLint attrs[] = {EGL_GL_TEXTURE_LEVEL_KHR, 0, EGL_NONE};
        EGLImageKHR img = create_image_(dpy_, ctx_, EGL_GL_TEXTURE_2D_KHR,
                                        reinterpret_cast<EGLClientBuffer>(static_cast<uintptr_t>(tex)), attrs);
        if (img == EGL_NO_IMAGE_KHR)
            return false;
        textures.push_back(tex);
        images.push_back(img);
        return true;
    }
    // The top-left w x h texels of image i, rows top to bottom.
    std::vector<uint8_t> read(size_t i, int w, int h)
    {
        GLuint fbo = 0;
        glGenFramebuffers(1, &fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, textures[i], 0);
        std::vector<uint8_t> px(size_t(w) * h * 4);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE)
            glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &fbo);
        return px;
    }

    std::vector<GLuint> textures;
    std::vector<EGLImageKHR> images;

private:
    EGLDisplay dpy_ = EGL_NO_DISPLAY;
    EGLContext ctx_ = EGL_NO_CONTEXT;
    PFNEGLCREATEIMAGEKHRPROC create_image_ = nullptr;
    PFNEGLDESTROYIMAGEKHRPROC destroy_image_ = nullptr;
};

class EglWriteTest : public StreamTest
{
};

TEST_F(EglWriteTest, DecodedPicturesLandInTheImagesBeforeTheInputComesBack)
{
    auto units = ivf_units(read_file(kVector));
    units.resize(10);

    // Reference: the same pictures as RGBA in plain buffers.
    start("OMX.ZYN.VP8.Decoder");
    configure(kW, kH, 65536, kW * kH * 4);
    PassResult plain = run(units);
    ASSERT_EQ(10u, plain.outputs.size());
    core_api().Deinit();

    EglClient egl;
    if (!egl.open())
        GTEST_SKIP() << "no EGL display with a GLES2 context here";
    for (int i = 0; i < 3; ++i)
        if (!egl.make_image(kW, kH32))
            GTEST_SKIP() << "no texture-backed EGL images here";
    egl_images.assign(egl.images.begin(), egl.images.end());

    std::remove(stats_path_.c_str());
    std::vector<std::vector<uint8_t>> seen;
    on_fill = [&](OMX_BUFFERHEADERTYPE *b) {
        size_t i = std::find(egl.images.begin(), egl.images.end(), b->pPlatformPrivate) - egl.images.begin();
        ASSERT_LT(i, egl.images.size());
        EXPECT_EQ(nullptr, b->pBuffer);
        seen.push_back(egl.read(i, kW, kH));
    };
    start("OMX.ZYN.VP8.Decoder");
    configure(kW, kH, 65536, kW * kH * 4);
    PassResult r = run(units);
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(10, stat_of(r.stats, "egl"));
    EXPECT_EQ(10, stat_of(r.stats, "pictures"));
    ASSERT_EQ(10u, seen.size());
    for (size_t k = 0; k < seen.size(); ++k)
        EXPECT_TRUE(seen[k] == plain.outputs[k]) << "picture " << k;
}

} // namespace
