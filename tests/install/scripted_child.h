#pragma once
// The scriptchild fixture copied under a name the system looks for, with the
// script it will follow.
#include <string>

#include "temp_dir.h"

namespace TestKit {

class ScriptedChild {
public:
    // Copies scriptchild.exe to `fileName` in a fresh folder (a subfolder
    // `subdir` of it when given, e.g. one whose name has blanks).
    explicit ScriptedChild(const std::wstring& fileName, const std::wstring& subdir = L"");

    bool Ready() const { return ready_; }
    const std::wstring& Path() const { return exe_; }
    // The path in double quotes, as the package path is handed over.
    std::wstring Quoted() const { return L"\"" + exe_ + L"\""; }
    const TempDir& Dir() const { return dir_; }

    // Writes the script (UTF-8 lines, see tools/fixtures/scriptchild.cpp).
    bool SetScript(const std::string& script) const;
    // The command line the child recorded; empty until it has run.
    std::wstring RecordedCommandLine() const;

private:
    std::wstring Beside(const wchar_t* extension) const;

    TempDir dir_;
    std::wstring exe_;
    bool ready_ = false;
};

// Holds a scripted child at one point of its script until the test opens it.
class ScriptGate {
public:
    explicit ScriptGate(const TempDir& dir, const std::wstring& name = L"gate")
        : release_(dir / (name + L".open")), passed_(dir / (name + L".passed"))
    {
    }
    // The script lines that wait here.
    std::string Lines() const;
    // Lets the child go on and waits until it has passed the gate.
    bool Open() const;

private:
    std::wstring release_;
    std::wstring passed_;
};

// A path in the scripts' encoding (UTF-8).
std::string ScriptPath(const std::wstring& path);

} // namespace TestKit
