#include "scripted_child.h"

#include <windows.h>

#include "files.h"
#include "text.h"

namespace TestKit {

ScriptedChild::ScriptedChild(const std::wstring& fileName, const std::wstring& subdir)
{
    std::wstring folder = dir_.Path();
    if (!subdir.empty()) {
        folder += L"\\" + subdir;
        ::CreateDirectoryW(folder.c_str(), nullptr);
    }
    exe_ = folder + L"\\" + fileName;
    ready_ = CopyTo(BinFile(L"scriptchild.exe"), exe_);
}

std::wstring ScriptedChild::Beside(const wchar_t* extension) const
{
    return exe_.substr(0, exe_.find_last_of(L'.')) + extension;
}

bool ScriptedChild::SetScript(const std::string& script) const { return WriteBytes(Beside(L".script"), script); }

std::wstring ScriptedChild::RecordedCommandLine() const
{
    return Utils::Utf8ToUnicode(ReadBytes(Beside(L".cmdline")));
}

std::string ScriptGate::Lines() const
{
    return "waitfile " + ScriptPath(release_) + "\ntouch " + ScriptPath(passed_) + "\n";
}

bool ScriptGate::Open() const
{
    WriteBytes(release_, "");
    for (int i = 0; i < 400; ++i) {
        if (::GetFileAttributesW(passed_.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return true;
        }
        ::Sleep(25);
    }
    return false;
}

std::string ScriptPath(const std::wstring& path) { return Utils::UnicodeToUtf8(path); }

} // namespace TestKit
