// The command line's bytes in the C and an ISO 8859-15 locale: the parameter is UTF-8, each word
// one character a byte unless it is UTF-8 itself; the command for the board is one byte a
// character, upper-cased: no lower-case letter, and upper-casing it again changes nothing.
#include "core/code_page.h"
#include "posix/command_line.h"
#include "tests/fuzz/fuzz.h"

#include <clocale>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const std::string made = "localedef -i pt_BR -f ISO-8859-15 " + scratchFolder() + "/latin9";
    PROPERTY(std::system((made + " >/dev/null").c_str()) == 0);
    return ::setenv("LOCPATH", scratchFolder().c_str(), 1);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0 || !std::setlocale(LC_CTYPE, data[0] % 2 ? "latin9" : "C"))
        return -1;
    std::vector<std::string> words = split(std::string(data + 1, data + size), '\0');
    std::vector<char *> argv{nullptr};
    std::size_t characters = words.size() - 1;
    for (std::string &word : words) {
        argv.push_back(word.data());
        characters += utf8::isValid(word) ? utf8::decode(word).size() : word.size();
    }
    const std::string parameter = commandParameter(static_cast<int>(argv.size()), argv.data());
    PROPERTY(utf8::isValid(parameter) && utf8::decode(parameter).size() == characters);
    const std::string command = commandBytes(parameter, Latin1CodePage());
    PROPERTY(command.size() == characters &&
             command.find_first_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos);
    PROPERTY(commandBytes(textOfBytes(command, Latin1CodePage()), Latin1CodePage()) == command);
    return 0;
}
