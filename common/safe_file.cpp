#include "safe_file.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "fault_seam.h"

#ifdef _WIN32
#include <windows.h>

#include "win_handles.h"
#include "win_text.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tqk {

using fault::Op;

#ifdef _WIN32

namespace {

std::wstring Wide(const std::string& utf8) { return WideFromUtf8(utf8); }

uint32_t LastErrorOr(uint32_t fallback) {
    const DWORD e = GetLastError();
    return e ? e : fallback;
}

}  // namespace

struct SafeFileWriter::Impl {
    FileHandle h;
};

uint32_t SafeFileWriter::Open(const std::string& utf8Target) {
    Abandon();
    target_ = utf8Target;
    scratch_ = ScratchPathFor(utf8Target);
    error_ = 0;
    FileHandle h(CreateFileW(Wide(scratch_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return error_ = LastErrorOr(ERROR_OPEN_FAILED);
    impl_ = std::make_unique<Impl>(Impl{std::move(h)});
    return 0;
}

uint32_t SafeFileWriter::Write(const void* data, size_t n) {
    if (error_) return error_;
    if (!impl_) return error_ = ERROR_INVALID_HANDLE;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const DWORD piece = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
        if (fault::ShouldFail(Op::kWrite)) return Fail(fault::ErrorNumber(Op::kWrite));
        DWORD done = 0;
        if (!WriteFile(impl_->h.Get(), p, piece, &done, nullptr)) return Fail(LastErrorOr(29));
        if (done != piece) return Fail(ERROR_DISK_FULL);
        p += piece;
        n -= piece;
    }
    return 0;
}

uint32_t SafeFileWriter::Commit() {
    if (error_) {
        Abandon();
        return error_;
    }
    if (!impl_) return ERROR_INVALID_HANDLE;
    uint32_t e = 0;
    if (fault::ShouldFail(Op::kFlush)) {
        e = fault::ErrorNumber(Op::kFlush);
    } else if (!FlushFileBuffers(impl_->h.Get())) {
        e = LastErrorOr(29);
    }
    // Closed here, not by the owner, so that a failing close is seen: the rename must not
    // put an unfinished file in place.
    if (!CloseHandle(impl_->h.Release()) && !e) e = LastErrorOr(29);
    if (!e) e = ReplaceFileWith(scratch_, target_);
    if (e) {
        error_ = e;
        Abandon();
        return e;
    }
    impl_.reset();
    scratch_.clear();
    return 0;
}

void SafeFileWriter::Abandon() {
    if (impl_) {
        impl_.reset();  // closes the scratch file before it is deleted
        DeleteFileW(Wide(scratch_).c_str());
    }
    scratch_.clear();
}

bool RemoveFile(const std::string& utf8Path) { return DeleteFileW(Wide(utf8Path).c_str()) != 0; }

uint32_t ReplaceFileWith(const std::wstring& from, const std::wstring& to) {
    if (fault::ShouldFail(Op::kRename)) return fault::ErrorNumber(Op::kRename);
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return LastErrorOr(ERROR_ACCESS_DENIED);
    return 0;
}

uint32_t ReplaceFileWith(const std::string& utf8From, const std::string& utf8To) {
    return ReplaceFileWith(Wide(utf8From), Wide(utf8To));
}

uint32_t WriteFileReplacing(const std::wstring& path, const void* data, size_t n) {
    return WriteFileReplacing(Utf8FromWide(path), data, n);
}

#else

namespace {

uint32_t ErrnoOr(int fallback) { return static_cast<uint32_t>(errno ? errno : fallback); }

}  // namespace

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

struct SafeFileWriter::Impl {
    std::unique_ptr<std::FILE, FileCloser> f;
};

uint32_t SafeFileWriter::Open(const std::string& utf8Target) {
    Abandon();
    target_ = utf8Target;
    scratch_ = ScratchPathFor(utf8Target);
    error_ = 0;
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(scratch_.c_str(), "wb"));
    if (!f) return error_ = ErrnoOr(EIO);
    impl_ = std::make_unique<Impl>(Impl{std::move(f)});
    return 0;
}

uint32_t SafeFileWriter::Write(const void* data, size_t n) {
    if (error_) return error_;
    if (!impl_) return error_ = EBADF;
    if (n == 0) return 0;
    if (fault::ShouldFail(Op::kWrite)) return Fail(fault::ErrorNumber(Op::kWrite));
    errno = 0;
    if (std::fwrite(data, 1, n, impl_->f.get()) != n) return Fail(ErrnoOr(EIO));
    return 0;
}

uint32_t SafeFileWriter::Commit() {
    if (error_) {
        Abandon();
        return error_;
    }
    if (!impl_) return EBADF;
    uint32_t e = 0;
    errno = 0;
    if (fault::ShouldFail(Op::kFlush)) {
        e = fault::ErrorNumber(Op::kFlush);
    } else if (std::fflush(impl_->f.get()) != 0 || fsync(fileno(impl_->f.get())) != 0) {
        e = ErrnoOr(EIO);
    }
    // Closed here, not by the owner, so that a failing close is seen.
    if (std::fclose(impl_->f.release()) != 0 && !e) e = ErrnoOr(EIO);
    if (!e) e = ReplaceFileWith(scratch_, target_);
    if (e) {
        error_ = e;
        Abandon();
        return e;
    }
    impl_.reset();
    scratch_.clear();
    return 0;
}

void SafeFileWriter::Abandon() {
    if (impl_) {
        impl_.reset();  // closes the scratch file before it is deleted
        std::remove(scratch_.c_str());
    }
    scratch_.clear();
}

bool RemoveFile(const std::string& utf8Path) { return std::remove(utf8Path.c_str()) == 0; }

uint32_t ReplaceFileWith(const std::string& utf8From, const std::string& utf8To) {
    if (fault::ShouldFail(Op::kRename)) return fault::ErrorNumber(Op::kRename);
    errno = 0;
    if (std::rename(utf8From.c_str(), utf8To.c_str()) != 0) return ErrnoOr(EIO);
    // The new name is on the disk only when the folder is.
    const size_t slash = utf8To.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : utf8To.substr(0, slash + 1);
    struct Folder {
        const int fd;
        ~Folder() {
            if (fd >= 0) close(fd);
        }
    } folder{open(dir.c_str(), O_RDONLY)};
    if (folder.fd >= 0) fsync(folder.fd);
    return 0;
}

#endif

SafeFileWriter::SafeFileWriter() = default;
SafeFileWriter::~SafeFileWriter() { Abandon(); }

uint32_t SafeFileWriter::Fail(uint32_t error) {
    error_ = error;
    Abandon();
    return error;
}

std::string ScratchPathFor(const std::string& utf8Target) { return utf8Target + ".tmp~"; }

uint32_t WriteFileReplacing(const std::string& utf8Path, const void* data, size_t n) {
    SafeFileWriter w;
    if (const uint32_t e = w.Open(utf8Path)) return e;
    if (const uint32_t e = w.Write(data, n)) {
        w.Abandon();
        return e;
    }
    return w.Commit();
}

}  // namespace tqk
