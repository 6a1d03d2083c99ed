#include "local_file.h"

#include <sys/stat.h>

namespace LocalFile {

int64_t Size(const std::wstring& path)
{
    struct _stat64 status {};
    return _wstat64(path.c_str(), &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
}

bool Remove(const std::wstring& path) { return _wremove(path.c_str()) == 0; }

bool Rename(const std::wstring& from, const std::wstring& to) { return _wrename(from.c_str(), to.c_str()) == 0; }

bool File::Open(const std::wstring& path, const wchar_t* mode, size_t bufferBytes)
{
    Close();
    file_ = _wfopen(path.c_str(), mode);
    if (file_ != nullptr && bufferBytes > 0) {
        (void)std::setvbuf(file_, nullptr, _IOFBF, bufferBytes);
    }
    return file_ != nullptr;
}

bool File::Close()
{
    if (file_ == nullptr) {
        return true;
    }
    const bool flushed = std::fclose(file_) == 0;
    file_ = nullptr;
    return flushed;
}

} // namespace LocalFile
