#include "platform/fs/remote/gioerrors.h"

#include <cerrno>

namespace kv::gioerrors {

int errnoOf(const GError* error) {
    if (!error) return 0;
    if (error->domain != G_IO_ERROR) return EIO;
    switch (error->code) {
        case G_IO_ERROR_CANCELLED:
        case G_IO_ERROR_FAILED_HANDLED:
            return ECANCELED;
        case G_IO_ERROR_NOT_FOUND:
        case G_IO_ERROR_NOT_MOUNTED:
            return ENOENT;
        case G_IO_ERROR_EXISTS:
            return EEXIST;
        case G_IO_ERROR_IS_DIRECTORY:
            return EISDIR;
        case G_IO_ERROR_NOT_DIRECTORY:
            return ENOTDIR;
        case G_IO_ERROR_NOT_EMPTY:
            return ENOTEMPTY;
        case G_IO_ERROR_FILENAME_TOO_LONG:
            return ENAMETOOLONG;
        case G_IO_ERROR_INVALID_FILENAME:
        case G_IO_ERROR_INVALID_ARGUMENT:
            return EINVAL;
        case G_IO_ERROR_TOO_MANY_LINKS:
            return EMLINK;
        case G_IO_ERROR_NO_SPACE:
            return ENOSPC;
        case G_IO_ERROR_READ_ONLY:
            return EROFS;
        case G_IO_ERROR_PERMISSION_DENIED:
            return EACCES;
        case G_IO_ERROR_NOT_SUPPORTED:
            return ENOTSUP;
        case G_IO_ERROR_WOULD_RECURSE:
        case G_IO_ERROR_WOULD_MERGE:
            return EXDEV;
        case G_IO_ERROR_TIMED_OUT:
            return ETIMEDOUT;
        case G_IO_ERROR_BUSY:
            return EBUSY;
        case G_IO_ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        case G_IO_ERROR_HOST_NOT_FOUND:
        case G_IO_ERROR_HOST_UNREACHABLE:
            return EHOSTUNREACH;
        case G_IO_ERROR_NETWORK_UNREACHABLE:
            return ENETUNREACH;
        case G_IO_ERROR_CONNECTION_REFUSED:
            return ECONNREFUSED;
        case G_IO_ERROR_BROKEN_PIPE:  // also G_IO_ERROR_CONNECTION_CLOSED
            return EPIPE;
        case G_IO_ERROR_CLOSED:
            return ECONNRESET;
        case G_IO_ERROR_NOT_CONNECTED:
            return ENOTCONN;
        case G_IO_ERROR_MESSAGE_TOO_LARGE:
            return EMSGSIZE;
        default:
            return EIO;
    }
}

bool connectionLost(const GError* error) {
    if (!error) return false;
    if (error->domain == G_DBUS_ERROR) return true;  // the back end's daemon went away
    if (error->domain != G_IO_ERROR) return false;
    switch (error->code) {
        case G_IO_ERROR_TIMED_OUT:
        case G_IO_ERROR_BROKEN_PIPE:  // also G_IO_ERROR_CONNECTION_CLOSED
        case G_IO_ERROR_CLOSED:       // a transfer's stream, when the back end's connection reset
        case G_IO_ERROR_NOT_CONNECTED:
        case G_IO_ERROR_HOST_UNREACHABLE:
        case G_IO_ERROR_NETWORK_UNREACHABLE:
        case G_IO_ERROR_CONNECTION_REFUSED:
            return true;
        default:
            return false;
    }
}

JobReport reportOf(JobAction action, const std::string& path, const GError* error) {
    JobReport report(action, path, errnoOf(error));
    // The errno says all a prompt needs for the common cases; the back end's words for the rest.
    if (error && error->message && (report.error == EIO || connectionLost(error)))
        report.other = error->message;
    return report;
}

}  // namespace kv::gioerrors
