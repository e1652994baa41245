#include "image_input.h"

#include "exclusive_file.h"
#include "operator_texts.h"
#include "sha256.h"
#include "variant_profile.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// Reads the whole of `file`; the system's error number, or 0.
int ReadAll(std::FILE* file, std::string& bytes) {
    // Room for the whole of a file from the start: a string that grows would copy a full image
    // two or three times, and the pages that touches are most of what inspect costs.
#ifdef _WIN32
    struct _stat64 info {};
    const bool sized = _fstat64(_fileno(file), &info) == 0 && (info.st_mode & _S_IFREG) != 0;
#else
    struct stat info {};
    const bool sized = fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
#endif
    if (sized) {
        bytes.reserve(static_cast<std::size_t>(info.st_size) + 1);
    }
    char buffer[64 * 1024];
    errno = 0;
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        bytes.append(buffer, got);
    }
    return std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
}

// The bytes of the image; the system's error number, or 0.
int ReadImageBytes(const std::string& path, std::string& bytes) {
    if (path == STANDARD_INPUT_ARGUMENT) {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY); // the loader applies the text-mode rules itself
#endif
        return ReadAll(stdin, bytes);
    }
    errno = 0;
    // Not shared while it is read, as the window reads it.
    std::FILE* file = OpenExclusive(path.c_str(), "rb");
    if (file == nullptr) {
        return errno;
    }
    const int error = ReadAll(file, bytes);
    std::fclose(file);
    return error;
}

bool IsAddressReason(RejectReason reason) {
    return reason == RejectReason::CpuRangeExceeded || reason == RejectReason::FlashOutOfRange ||
           reason == RejectReason::BelowFlashBase;
}

} // namespace

std::string ImageName(const std::string& path) {
    return path == STANDARD_INPUT_ARGUMENT ? "standard input" : path;
}

ImageRead LoadImage(const std::string& path, bool writeDumps, const VariantProfile& profile,
                    FirmwareImage& image, StoredRecordObserver* observer) {
    ImageRead read;
    std::string bytes;
    if (const int error = ReadImageBytes(path, bytes); error != 0) {
        image.Reset();
        read.load.kind = LoadResult::FileError;
        read.load.file = ImageName(path);
        read.load.error = SystemErrorText(error);
        return read;
    }
    read.sha256 = Sha256Hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    read.load = image.loadSRecordBytes(bytes, writeDumps, profile, observer);
    return read;
}

std::string DescribeRejection(const LoadResult& load, const VariantProfile& profile) {
    std::string text = DescribeRejectReason(load.reason);
    if (IsAddressReason(load.reason)) {
        char where[96];
        std::snprintf(where, sizeof where, " (the record's address is 0x%06X",
                      static_cast<unsigned>(load.address));
        text += where;
        if (load.reason != RejectReason::CpuRangeExceeded) {
            std::snprintf(where, sizeof where, ", the flash base 0x%06X",
                          static_cast<unsigned>(profile.flashBase));
            text += where;
        }
        text += ")";
    }
    return text;
}

std::string LoadFailureText(const std::string& path, const LoadResult& load,
                            const VariantProfile& profile) {
    if (load.kind == LoadResult::FileError) {
        if (path == STANDARD_INPUT_ARGUMENT && !load.dumpFile) {
            return "Could not read the S-Record file from standard input: " + load.error;
        }
        return FileErrorMessage(load); // it names the file and its folder
    }
    // The window's text, then which file, where in it and why.
    return std::string(LOAD_REJECTED_TEXT) + " " + ImageName(path) + ", line " +
           std::to_string(load.line) + ": " + DescribeRejection(load, profile);
}
