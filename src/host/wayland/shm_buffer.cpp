// Shared-memory buffers for surfaces that are drawn without OpenGL: the message box, a window whose
// pixel format could not be set (it still shows, black, as on the other window systems), and the
// pictures of a toplevel's icon.
#include "host/wayland/layer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>

bool CreateShmBufferWayland(int width, int height, ShmBufferWayland* out, uint32_t format) {
    *out = ShmBufferWayland{};
    int stride = width * 4;
    std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    int fd = memfd_create("tavik-buffer", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) < 0) {
        std::perror("Wayland: cannot make a shared-memory buffer");
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) {
        std::perror("Wayland: cannot map a shared-memory buffer");
        close(fd);
        return false;
    }
    wl_shm_pool* pool = wl_shm_create_pool(LayerWl().shm, fd, static_cast<int32_t>(size));
    out->buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, format);
    wl_shm_pool_destroy(pool);
    close(fd);
    out->pixels = pixels;
    out->size = size;
    out->width = width;
    out->height = height;
    out->stride = stride;
    return true;
}

void DestroyShmBufferWayland(ShmBufferWayland* buffer) {
    if (buffer->buffer != nullptr) {
        wl_buffer_destroy(buffer->buffer);
    }
    if (buffer->pixels != nullptr) {
        munmap(buffer->pixels, buffer->size);
    }
    *buffer = ShmBufferWayland{};
}
