#pragma once

// The ES half of the layer: it draws batches of triangles with a raster state, and
// clears. It keeps what it last gave ES (the state, the program, the texture) and
// changes only what differs. Internal to the layer.
#include <cstddef>
#include <vector>

#include "gl11/state.h"

namespace gl11 {

// Adds triangles to the batch, drawing the batch first when its state differs.
void drawTriangles(const RasterState& raster, const std::vector<GpuVertex>& triangles);

// Draws the batch, if any.
void flushBatch();

// Draws the batch and hands ES's queue to the GPU; with `wait`, until it has finished.
void submitBatch(bool wait);

// Draws the batch and reads RGBA bytes back from the framebuffer.
void readPixels(GLint x, GLint y, GLsizei width, GLsizei height, void* pixels);

// The stencil bits of the framebuffer drawn into.
GLint framebufferStencilBits();

// Clears the buffers in `mask` (GL's bits) within the current scissor box.
void clearBuffers(const State& s, GLbitfield mask);

// Binds a texture for an upload or a parameter, after drawing the batch.
void bindTextureForUpdate(GLuint texture);

// A texture that is deleted is no longer what ES has bound.
void textureDeleted(GLuint texture);

// The ES objects and the kept state are forgotten: deleted (endContext), or dropped as
// belonging to a context that is gone (startContext).
void releaseRenderer(bool deleteObjects);

} // namespace gl11
