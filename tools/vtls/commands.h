#pragma once

namespace vtls::tool {

// Each command gets the arguments after its name and returns the process exit code.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

int RunInfo(int argc, wchar_t** argv);
int RunPidl(int argc, wchar_t** argv);
int RunServe(int argc, wchar_t** argv);
int RunBrowse(int argc, wchar_t** argv);
int RunWatch(int argc, wchar_t** argv);
int RunNotify(int argc, wchar_t** argv);
int RunReg(int argc, wchar_t** argv);
int RunIcon(int argc, wchar_t** argv);

}  // namespace vtls::tool
