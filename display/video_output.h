// Video output: the X11 windows, the EGL window surface and context, the ring of EGL images bound
// to GL textures, and the OpenGL ES 2.0 program that draws one decoded picture over the window.
// Everything here runs on the thread that called OpenWindow. The backdrop, the output window and
// its EGL surface and context serve every pass; the images and the program are each pass's own.
#pragma once

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

// The two Xlib types of the interface, declared as Xlib does, so that users of this header do not
// get Xlib's macros (None, Bool, Status, True, ...), which clash with other headers such as
// GoogleTest's.
typedef struct _XDisplay Display;
typedef unsigned long XID;
typedef XID Pixmap;

// Slots of the output ring; the arrays below have this many entries and OpenWindow makes at most
// this many images.
constexpr int kVideoRingSlots = 3;

// Module-level display state (zero at start).
extern Display *x_display;
extern EGLDisplay egl_display;
extern EGLSurface egl_surface;
extern GLuint textures[kVideoRingSlots];
extern Pixmap pixmaps[kVideoRingSlots];
extern EGLImageKHR khrImages[kVideoRingSlots];
extern unsigned char *vAddrEGL[kVideoRingSlots];
extern GLuint program;
extern int pos_location;

// Opens a black full-window backdrop on a connection of its own, once: later calls find it
// standing. 1 when it stands, 0 when the display cannot be opened.
int OpenWindowBlank(void);

// Opens the output window, its EGL surface and context (left current on the calling thread) and
// `size` EGL images of w x h pixels, each bound to texs[i]. The out-parameters are written only on
// success. 0 on success, 1 when the display, EGL or context set-up fails, -1 when a pixmap or an
// image cannot be made (or the ring arguments are unusable). The window, surface and context of
// an earlier call of the same place and size are reused; a ring left by an earlier call, and a
// window of another place or size, are released first.
int OpenWindow(EGLDisplay *pegl_display, EGLSurface *pegl_surface, int pos1, int pos2, int w_width, int w_height,
               GLuint *texs, Pixmap *pixs, EGLImageKHR *khrs, unsigned char **vAddrs, int size, int w, int h);
// Releases the textures, EGL images and pixmaps of the last OpenWindow call (also those made
// before a failure); the window keeps showing the last picture drawn. Call it once no component
// holds the images any more.
void ReleaseImages(void);

// Compiles one shader from `size` bytes of `source` and attaches it to `program`; ends the process
// with status 1 when it does not compile.
void CreateShader(GLuint program, GLenum type, const char *source, int size);
// Links `program` and makes it current; ends the process with status 1 when it does not link.
void LinkProgram(GLuint program);
// Builds the drawing program from kVertexShader and the fragment shader `shader` (`shadersize`
// bytes, its terminating zero included), sets its uniforms and attributes. Returns 0.
int init_render(GLuint *pprogram, int *ppos_location, const char *shader, int shadersize);
// Deletes a program of init_render (and its shaders) and sets *pprogram to 0.
void ReleaseRender(GLuint *pprogram);
// Draws texture `tex` with `prog` over the whole surface and presents it.
void ShowFrame(EGLDisplay egl_display, EGLSurface egl_surface, int prog, GLuint tex, int pos);

// YUV to RGB, column by column: R = Y + 1.403 V, G = Y - 0.344 U - 0.714 V, B = Y + 1.772 U.
inline constexpr float kYUV2RGB[9] = {1.0f, 1.0f, 1.0f, 0.0f, -0.344f, 1.772f, 1.403f, -0.714f, 0.0f};

// Full-window quad as a triangle strip: top left, bottom left, top right, bottom right.
inline constexpr float kVs[8] = {-1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f, -1.0f};

// Texture coordinates of the kVs corners: texture row 0 at the top of the window.
inline constexpr float kTextureCoords[8] = {0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1.0f, 1.0f};

// Quad over the upper two thirds of the window and the middle two thirds of its width.
inline constexpr float kVertices[8] = {-2.0f / 3.0f, 1.0f, -2.0f / 3.0f, -1.0f / 3.0f,
                                       2.0f / 3.0f,  1.0f, 2.0f / 3.0f,  -1.0f / 3.0f};

// Three quads side by side across the lower third of the window.
inline constexpr float kVerticesDec[3][8] = {
    {-1.0f, -1.0f / 3.0f, -1.0f, -1.0f, -1.0f / 3.0f, -1.0f / 3.0f, -1.0f / 3.0f, -1.0f},
    {-1.0f / 3.0f, -1.0f / 3.0f, -1.0f / 3.0f, -1.0f, 1.0f / 3.0f, -1.0f / 3.0f, 1.0f / 3.0f, -1.0f},
    {1.0f / 3.0f, -1.0f / 3.0f, 1.0f / 3.0f, -1.0f, 1.0f, -1.0f / 3.0f, 1.0f, -1.0f},
};

// Shader sources; sizeof gives the length the shader calls expect (terminating zero included).
inline constexpr char kVertexShader[] = "precision highp float;\n"
                                        "precision highp int;\n"
                                        "varying vec2 interp_tc;\n"
                                        "attribute vec4 in_pos;\n"
                                        "attribute vec2 in_tc;\n"
                                        "void main() {\n"
                                        "interp_tc = in_tc;\n"
                                        "gl_Position = in_pos;\n"
                                        "}\n";

// Luma in red, U in green, V in alpha; both chroma values centred on 0.5.
inline constexpr char kFragmentShader[] = "precision mediump float;\n"
                                          "varying mediump vec2 interp_tc;\n"
                                          "uniform sampler2D tex;\n"
                                          "uniform mat3 yuv2rgb;\n"
                                          "void main() {\n"
                                          "float y = texture2D(tex, interp_tc).r;\n"
                                          "float u = texture2D(tex, interp_tc).g - 0.5;\n"
                                          "float v = texture2D(tex, interp_tc).a - 0.5;\n"
                                          "vec3 rgb = yuv2rgb * vec3(y, u, v);\n"
                                          "gl_FragColor = vec4(rgb, 1);\n"
                                          "}\n";

// The texel unchanged.
inline constexpr char kFragmentShaderRGB[] = "precision mediump float;\n"
                                             "varying mediump vec2 interp_tc;\n"
                                             "uniform sampler2D tex;\n"
                                             "uniform mat3 yuv2rgb;\n"
                                             "void main() {\n"
                                             "mediump vec4 texlookup = texture2D(tex, interp_tc);\n"
                                             "gl_FragColor = texlookup;\n"
                                             "}\n";
