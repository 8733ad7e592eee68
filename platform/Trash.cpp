#include "platform/Trash.h"

#include <gio/gio.h>

#include <cerrno>

namespace plat {

namespace {

int ErrnoOf(const GError* error) {
    if (error->domain != G_IO_ERROR) {
        return EIO;
    }
    switch (error->code) {
        case G_IO_ERROR_NOT_FOUND:
            return ENOENT;
        case G_IO_ERROR_PERMISSION_DENIED:
            return EACCES;
        case G_IO_ERROR_NOT_SUPPORTED:
            return ENOTSUP;
        case G_IO_ERROR_NO_SPACE:
            return ENOSPC;
        case G_IO_ERROR_READ_ONLY:
            return EROFS;
        default:
            return EIO;
    }
}

}  // namespace

int MoveToTrash(const std::filesystem::path& path, std::string& error) {
    GFile* file = g_file_new_for_path(path.c_str());
    GError* gerror = nullptr;
    gboolean moved = g_file_trash(file, nullptr, &gerror);
    g_object_unref(file);
    if (moved) {
        error.clear();
        return 0;
    }
    int code = ErrnoOf(gerror);
    error = gerror->message;
    g_error_free(gerror);
    return code;
}

}  // namespace plat
