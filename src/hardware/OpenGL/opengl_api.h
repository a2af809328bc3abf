// Every GL and GLU call of the back end goes through this one table: the SDL
// platform fills it when it makes a context, tests fill it with a recording
// fake, and headless runs leave it empty. The GL headers give types and
// constants only; the engine itself links no GL library.
#ifndef OPENGL_API_H
#define OPENGL_API_H

#include <GL/gl.h>
#include <GL/glext.h>

#include "cseries.h"

// (return type, name, parameters, arguments). Entry points every context has.
#define OPENGL_API_1X(X) \
	X(const GLubyte *, glGetString, (GLenum name), (name)) \
	X(GLenum, glGetError, (void), ()) \
	X(void, glGetIntegerv, (GLenum pname, GLint *params), (pname, params)) \
	X(void, glGetFloatv, (GLenum pname, GLfloat *params), (pname, params)) \
	X(void, glEnable, (GLenum cap), (cap)) \
	X(void, glDisable, (GLenum cap), (cap)) \
	X(void, glDepthFunc, (GLenum func), (func)) \
	X(void, glDepthMask, (GLboolean flag), (flag)) \
	X(void, glBlendFunc, (GLenum sfactor, GLenum dfactor), (sfactor, dfactor)) \
	X(void, glColorMask, (GLboolean r, GLboolean g, GLboolean b, GLboolean a), (r, g, b, a)) \
	X(void, glClearColor, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a)) \
	X(void, glClear, (GLbitfield mask), (mask)) \
	X(void, glMatrixMode, (GLenum mode), (mode)) \
	X(void, glLoadIdentity, (void), ()) \
	X(void, glLoadMatrixf, (const GLfloat *m), (m)) \
	X(void, glViewport, (GLint x, GLint y, GLsizei width, GLsizei height), (x, y, width, height)) \
	X(void, glScissor, (GLint x, GLint y, GLsizei width, GLsizei height), (x, y, width, height)) \
	X(void, glVertexPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid *pointer), (size, type, stride, pointer)) \
	X(void, glColorPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid *pointer), (size, type, stride, pointer)) \
	X(void, glTexCoordPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid *pointer), (size, type, stride, pointer)) \
	X(void, glEnableClientState, (GLenum array), (array)) \
	X(void, glDisableClientState, (GLenum array), (array)) \
	X(void, glActiveTexture, (GLenum texture), (texture)) \
	X(void, glClientActiveTexture, (GLenum texture), (texture)) \
	X(void, glBindTexture, (GLenum target, GLuint texture), (target, texture)) \
	X(void, glGenTextures, (GLsizei n, GLuint *textures), (n, textures)) \
	X(void, glDeleteTextures, (GLsizei n, const GLuint *textures), (n, textures)) \
	X(void, glTexImage2D, (GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height, GLint border, GLenum format, GLenum type, const GLvoid *pixels), (target, level, internalformat, width, height, border, format, type, pixels)) \
	X(void, glTexSubImage2D, (GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width, GLsizei height, GLenum format, GLenum type, const GLvoid *pixels), (target, level, xoffset, yoffset, width, height, format, type, pixels)) \
	X(void, glTexParameteri, (GLenum target, GLenum pname, GLint param), (target, pname, param)) \
	X(void, glTexParameterf, (GLenum target, GLenum pname, GLfloat param), (target, pname, param)) \
	X(void, glGetTexLevelParameteriv, (GLenum target, GLint level, GLenum pname, GLint *params), (target, level, pname, params)) \
	X(void, glTexEnvi, (GLenum target, GLenum pname, GLint param), (target, pname, param)) \
	X(void, glPixelStorei, (GLenum pname, GLint param), (pname, param)) \
	X(void, glReadBuffer, (GLenum mode), (mode)) \
	X(void, glReadPixels, (GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, GLvoid *pixels), (x, y, width, height, format, type, pixels)) \
	X(void, glDrawArrays, (GLenum mode, GLint first, GLsizei count), (mode, first, count)) \
	X(void, glFogi, (GLenum pname, GLint param), (pname, param)) \
	X(void, glFogf, (GLenum pname, GLfloat param), (pname, param)) \
	X(void, glFogfv, (GLenum pname, const GLfloat *params), (pname, params)) \
	X(void, glFinish, (void), ()) \
	X(GLint, gluBuild2DMipmaps, (GLenum target, GLint internalFormat, GLsizei width, GLsizei height, GLenum format, GLenum type, const void *data), (target, internalFormat, width, height, format, type, data))

// The OpenGL 2.0 names, looked up at run time in this order when shaders are on.
#define OPENGL_API_20(X) \
	X(void, glAttachShader, (GLuint program, GLuint shader), (program, shader)) \
	X(void, glCompileShader, (GLuint shader), (shader)) \
	X(GLuint, glCreateProgram, (void), ()) \
	X(void, glDeleteProgram, (GLuint program), (program)) \
	X(GLuint, glCreateShader, (GLenum type), (type)) \
	X(void, glDeleteShader, (GLuint shader), (shader)) \
	X(void, glGetProgramInfoLog, (GLuint program, GLsizei max_length, GLsizei *length, GLchar *log), (program, max_length, length, log)) \
	X(void, glGetProgramiv, (GLuint program, GLenum pname, GLint *params), (program, pname, params)) \
	X(void, glGetShaderInfoLog, (GLuint shader, GLsizei max_length, GLsizei *length, GLchar *log), (shader, max_length, length, log)) \
	X(GLint, glGetUniformLocation, (GLuint program, const GLchar *name), (program, name)) \
	X(void, glLinkProgram, (GLuint program), (program)) \
	X(void, glShaderSource, (GLuint shader, GLsizei count, const GLchar *const *strings, const GLint *lengths), (shader, count, strings, lengths)) \
	X(void, glUniform1i, (GLint location, GLint value), (location, value)) \
	X(void, glUseProgram, (GLuint program), (program)) \
	X(void, glBindAttribLocation, (GLuint program, GLuint index, const GLchar *name), (program, index, name)) \
	X(void, glEnableVertexAttribArray, (GLuint index), (index)) \
	X(void, glDisableVertexAttribArray, (GLuint index), (index)) \
	X(void, glVertexAttribPointer, (GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride, const GLvoid *pointer), (index, size, type, normalized, stride, pointer)) \
	X(void, glGenerateMipmap, (GLenum target), (target))

#define OPENGL_API_FIELD(type, name, parameters, arguments) type (*name) parameters;

struct opengl_api_data
{
	OPENGL_API_1X(OPENGL_API_FIELD)
	OPENGL_API_20(OPENGL_API_FIELD)
};

// The table in use (all null without a context).
extern opengl_api_data opengl_api;

#define NUMBER_OF_OPENGL2_ENTRY_POINTS 19

// The 2.0 names in lookup order, and their slots in the table.
extern const char *const opengl2_entry_point_names[NUMBER_OF_OPENGL2_ENTRY_POINTS];
void **opengl2_entry_point_slot(opengl_api_data *api, int32 index);

// Empties the table (headless, and between tests).
void clear_opengl_api(void);

#endif
