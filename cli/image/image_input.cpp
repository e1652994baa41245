#include "image_input.h"

#include "exclusive_file.h"
#include "operator_texts.h"
#include "sha256.h"
#include "variant_profile.h"

#include <cerrno>
#include <cstdio>

#include <new>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// The image's stream: standard input for "-", else the file, not shared while it is read (as
// the window reads it). Null with errno set when the file cannot be opened.
std::FILE* OpenImage(const std::string& path) {
    if (path == STANDARD_INPUT_ARGUMENT) {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY); // the loader applies the text-mode rules itself
#endif
        return stdin;
    }
    errno = 0;
    return OpenExclusive(path.c_str(), "rb");
}

// Feeds what is left of `file` to `digest`: the loader stops at a 0x1A byte or at a refused
// record, and the digest is of the whole file. The system's error number, or 0.
int DigestTheRest(std::FILE* file, Sha256& digest) {
    char buffer[64 * 1024];
    errno = 0;
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        digest.Update(buffer, got);
    }
    return std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
}

bool IsAddressReason(RejectReason reason) {
    return reason == RejectReason::CpuRangeExceeded || reason == RejectReason::FlashOutOfRange ||
           reason == RejectReason::BelowFlashBase;
}

} // namespace

std::unique_ptr<FirmwareImage> NewImage() {
    void* memory = ::operator new(sizeof(FirmwareImage));
#ifdef MADV_POPULATE_WRITE
    // Whole pages around the image; a system without this advice simply faults them in later.
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<std::uintptr_t>(memory) & ~(page - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(memory) + sizeof(FirmwareImage);
    madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#endif
    return std::unique_ptr<FirmwareImage>(new (memory) FirmwareImage());
}

std::string ImageName(const std::string& path) {
    return path == STANDARD_INPUT_ARGUMENT ? "standard input" : path;
}

ImageRead LoadImage(const std::string& path, bool writeDumps, const VariantProfile& profile,
                    FirmwareImage& image, StoredRecordObserver* observer) {
    ImageRead read;
    std::FILE* file = OpenImage(path);
    int error = file == nullptr ? errno : 0;
    if (file != nullptr) {
        // One pass over the file: the digest takes each piece as the loader reads it.
        Sha256 digest;
        read.load = image.loadSRecordStream(
            file, ImageName(path), profile, observer,
            [&digest](const char* bytes, std::size_t size) { digest.Update(bytes, size); });
        if (read.load.kind == LoadResult::FileError) {
            image.Reset(); // nothing of a file that could not be read is kept
        } else {
            error = DigestTheRest(file, digest);
            read.sha256 = digest.HexDigest();
        }
        if (file != stdin) {
            std::fclose(file);
        }
    }
    if (error != 0) {
        image.Reset();
        read = ImageRead();
        read.load.kind = LoadResult::FileError;
        read.load.file = ImageName(path);
        read.load.error = SystemErrorText(error);
        return read;
    }
    image.DumpAfterLoad(read.load, writeDumps);
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
