// The GLES2 program that draws one ring texture over the whole EGL window. Runs on the thread on
// which OpenWindow made the context current.
#include <cstdio>
#include <cstdlib>

#include "video_output.h"

GLuint program;   // init_render's first out-parameter in the decoding pass, handed to ShowFrame
int pos_location; // init_render's second out-parameter, handed to ShowFrame

void CreateShader(GLuint program, GLenum type, const char *source, int size)
{
    GLuint shader = glCreateShader(type);
    GLint length = size;
    glShaderSource(shader, 1, &source, &length);
    glCompileShader(shader);
    GLint result = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &result);
    if (result == 0) {
        std::puts("Error: Failed to compile GLSL shader");
        std::exit(1);
    }
    std::puts("Success to compile GLSL shader");
    glAttachShader(program, shader);
    glDeleteShader(shader); // goes with the program
}

void LinkProgram(GLuint program)
{
    glLinkProgram(program);
    GLint result = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &result);
    if (result == 0) {
        std::puts("Error: Failed to Link GLSL shader");
        std::exit(1);
    }
    std::puts("Success to link GLSL shader");
    glUseProgram(program);
}

int init_render(GLuint *pprogram, int *ppos_location, const char *shader, int shadersize)
{
    GLuint prog = glCreateProgram();
    CreateShader(prog, GL_VERTEX_SHADER, kVertexShader, sizeof(kVertexShader));
    CreateShader(prog, GL_FRAGMENT_SHADER, shader, shadersize);
    LinkProgram(prog);

    // A fragment shader that does not use the matrix has no location for it (-1): a no-op here.
    glUniformMatrix3fv(glGetUniformLocation(prog, "yuv2rgb"), 1, GL_FALSE, kYUV2RGB);

    int pos = glGetAttribLocation(prog, "in_pos");
    glEnableVertexAttribArray(static_cast<GLuint>(pos));
    glVertexAttribPointer(static_cast<GLuint>(pos), 2, GL_FLOAT, GL_FALSE, 0, kVs);

    int tc = glGetAttribLocation(prog, "in_tc");
    glEnableVertexAttribArray(static_cast<GLuint>(tc));
    glVertexAttribPointer(static_cast<GLuint>(tc), 2, GL_FLOAT, GL_FALSE, 0, kTextureCoords);

    glUniform1i(glGetUniformLocation(prog, "tex"), 0);

    *pprogram = prog;
    *ppos_location = pos;
    return 0;
}

void ReleaseRender(GLuint *pprogram)
{
    if (*pprogram == 0)
        return;
    glUseProgram(0); // a program in use would only be flagged
    glDeleteProgram(*pprogram);
    *pprogram = 0;
}

void ShowFrame(EGLDisplay egl_display, EGLSurface egl_surface, int prog, GLuint tex, int pos)
{
    glClear(GL_COLOR_BUFFER_BIT);
    glUseProgram(static_cast<GLuint>(prog));
    glBindTexture(GL_TEXTURE_2D, tex);
    glVertexAttribPointer(static_cast<GLuint>(pos), 2, GL_FLOAT, GL_FALSE, 0, kVs);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    eglSwapBuffers(egl_display, egl_surface);
}
