// One way for every command to read its arguments, with one exit-code rule:
// --help or -h anywhere prints the usage and exits 0; an argument that is not
// understood is reported (with the usage when it is unknown) and exits 2.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vtls::tool {

class ArgumentReader {
public:
    ArgumentReader(const char* command, std::string usage);

    // --name, no value.
    void Flag(const wchar_t* name, bool& target);
    // --name VALUE; when read refuses the value: "NAME needs WHAT, not 'VALUE'".
    void Value(const wchar_t* name, const char* what, std::function<bool(const wchar_t*)> read);
    // --name N, a whole number (decimal or 0x hex) from low to high.
    void Whole(const wchar_t* name, unsigned long low, unsigned long high, std::function<void(unsigned long)> store);
    // Every argument that does not start with '-': read answers an error text, or "" to accept it.
    void Positional(std::function<std::string(const wchar_t*)> read);
    // After every argument was read: an error text, or "" to go on; withUsage
    // adds the usage, for a missing argument the user may not know of.
    void Check(std::function<std::string()> check, bool withUsage = false);

    // The command's exit code: 0 after the usage was asked for, 2 for arguments
    // not understood, otherwise what run answers.
    [[nodiscard]] int Run(int argc, wchar_t** argv, const std::function<int()>& run) const;

private:
    struct Option {
        std::wstring name;
        bool takesValue = false;
        std::string what;
        std::function<bool(const wchar_t*)> read;
    };

    [[nodiscard]] const Option* Find(const wchar_t* argument) const;
    [[nodiscard]] bool Read(int argc, wchar_t** argv) const;
    void Refuse(const std::string& why, bool withUsage) const;

    std::string m_command;
    std::string m_usage;
    std::vector<Option> m_options;
    std::function<std::string(const wchar_t*)> m_positional;
    struct Rule {
        std::function<std::string()> check;
        bool withUsage = false;
    };
    std::vector<Rule> m_checks;
};

}  // namespace vtls::tool
