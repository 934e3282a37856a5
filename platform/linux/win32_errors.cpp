#include "platform/linux/win32_errors.h"

#include <cerrno>

namespace hdd::blockdev {

namespace {

struct ErrnoToWin32 {
    int error;
    DWORD code;
};

// What Windows reports for the same situation on a disk or a device path.
constexpr ErrnoToWin32 kTable[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {ELOOP, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},  // a folder opened as a file
    {EBUSY, kErrorSharingViolation},
    {EIO, ERROR_CRC},  // the device could not read the data
    {EILSEQ, ERROR_CRC},  // the block layer: protection information did not match
    // The block layer's other read failures (block/blk-core.c, blk_errors).
    {ENODATA, ERROR_CRC},            // a medium error: the sector cannot be read (sense key MEDIUM ERROR)
    {EREMOTEIO, kErrorIoDevice},     // a critical error in the target (the drive)
    {ENOLINK, kErrorIoDevice},       // a transport error between host and drive
    {EBADE, kErrorIoDevice},         // a nexus error: the path to the drive failed
    {ENOSPC, kErrorIoDevice},        // a thin-provisioned device without space to back the sector
    {EREMCHG, kErrorIoDevice},       // device mapper's internal requeue, leaked out
    {EAGAIN, kErrorBusy},            // a non-blocking request the queue could not take now
    {ETOOMANYREFS, kErrorBusy},      // a zoned drive out of open-zone resources
    {ETIME, kErrorSemTimeout},       // the command duration limit ran out in the drive
    {ENXIO, kErrorNotReady},  // no medium behind the node (an empty card reader)
    {ENODEV, kErrorNotReady},
    {ENOMEDIUM, kErrorNotReady},
    {ETIMEDOUT, kErrorSemTimeout},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EOVERFLOW, ERROR_SECTOR_NOT_FOUND},  // a position beyond what the device holds
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EMFILE, kErrorTooManyOpenFiles},
    {ENFILE, kErrorTooManyOpenFiles},
    {ENAMETOOLONG, kErrorFilenameTooLong},
    {EBADF, ERROR_INVALID_HANDLE},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {ENOTTY, ERROR_INVALID_FUNCTION},  // a request the device does not know
};

}  // namespace

DWORD Win32ErrorFromErrno(int error)
{
    for (const ErrnoToWin32& row : kTable) {
        if (row.error == error) {
            return row.code;
        }
    }
    return kErrorGenFailure;  // "a device attached to the system is not functioning"
}

}  // namespace hdd::blockdev
