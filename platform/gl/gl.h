// OpenGL core declarations for this folder only.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
