#include "arguments.h"

#include <cwchar>
#include <utility>

#include "client_support.h"
#include "commands.h"
#include "console.h"

namespace vtls::tool {

ArgumentReader::ArgumentReader(const char* command, std::string usage)
    : m_command(command), m_usage(std::move(usage)) {}

void ArgumentReader::Flag(const wchar_t* name, bool& target) {
    m_options.push_back({name, false, "", [&target](const wchar_t*) {
                             target = true;
                             return true;
                         }});
}

void ArgumentReader::Value(const wchar_t* name, const char* what, std::function<bool(const wchar_t*)> read) {
    m_options.push_back({name, true, what, std::move(read)});
}

void ArgumentReader::Whole(const wchar_t* name, unsigned long low, unsigned long high,
                           std::function<void(unsigned long)> store) {
    Value(name, Format("a whole number from %lu to %lu", low, high).c_str(),
          [low, high, store = std::move(store)](const wchar_t* text) {
              unsigned long number = 0;
              if (!ParseWhole(text, high, number) || number < low) {
                  return false;
              }
              store(number);
              return true;
          });
}

void ArgumentReader::Positional(std::function<std::string(const wchar_t*)> read) { m_positional = std::move(read); }

void ArgumentReader::Check(std::function<std::string()> check, bool withUsage) {
    m_checks.push_back({std::move(check), withUsage});
}

int ArgumentReader::Run(int argc, wchar_t** argv, const std::function<int()>& run) const {
    // Help wins over everything else on the line, so a half-typed command can still ask.
    for (int i = 0; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--help") == 0 || std::wcscmp(argv[i], L"-h") == 0) {
            Out(m_usage);
            return kExitOk;
        }
    }
    return Read(argc, argv) ? run() : kExitUsage;
}

const ArgumentReader::Option* ArgumentReader::Find(const wchar_t* argument) const {
    for (const Option& option : m_options) {
        if (option.name == argument) {
            return &option;
        }
    }
    return nullptr;
}

bool ArgumentReader::Read(int argc, wchar_t** argv) const {
    for (int i = 0; i < argc; ++i) {
        const wchar_t* argument = argv[i];
        if (const Option* option = Find(argument)) {
            const wchar_t* value = nullptr;
            if (option->takesValue) {
                value = i + 1 < argc ? argv[++i] : nullptr;
                if (value == nullptr) {
                    Refuse(ToUtf8(option->name) + " needs " + option->what, false);
                    return false;
                }
            }
            if (!option->read(value)) {
                Refuse(ToUtf8(option->name) + " needs " + option->what + ", not '" + ToUtf8(value) + "'", false);
                return false;
            }
        } else if (argument[0] != L'-' && m_positional) {
            if (const std::string error = m_positional(argument); !error.empty()) {
                Refuse(error, false);
                return false;
            }
        } else {
            Refuse("unexpected argument '" + ToUtf8(argument) + "'", true);
            return false;
        }
    }
    for (const Rule& rule : m_checks) {
        if (const std::string error = rule.check(); !error.empty()) {
            Refuse(error, rule.withUsage);
            return false;
        }
    }
    return true;
}

void ArgumentReader::Refuse(const std::string& why, bool withUsage) const {
    Err("vtls " + m_command + ": " + why + "\n");
    if (withUsage) {
        Err(m_usage);
    }
}

}  // namespace vtls::tool
