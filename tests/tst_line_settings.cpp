// The line settings that every platform's port takes, and how they read back.
#include "core/line_settings.h"

#include <doctest/doctest.h>

TEST_CASE("line settings: what every platform's port can set is taken and reads back in its short "
          "form, which is taken again alike; the rest is refused")
{
    // A text and how it reads back; "": refused.
    // clang-format off
    const std::pair<const char *, const char *> rows[] = {
        {"300,n,8,1", "300,n,8,1"}, {" 9600 , E , 7 , 2 ", "9600,e,7,2"}, {"50,s,6,1", "50,s,6,1"},
        {"115200,M,5,1.5", "115200,m,5,1.5"}, {"921600,o,5,1", "921600,o,5,1"},
        {"301,n,8,1", ""}, {"14400,n,8,1", ""} /* one platform's only */, {"0300,n,8,1", ""},
        {"3 00,n,8,1", ""}, {"300,x,8,1", ""}, {"300,no,8,1", ""}, {"300,n,9,1", ""},
        {"300,n,4,1", ""}, {"300,n,8,3", ""}, {"300,n,8", ""}, {"300,n,8,1,", ""}, {"", ""},
        {"300,n,8,1.5", ""}, {"300,n,5,2", ""}, // 1.5 stop bits with 5 data bits only, 2 with more
    };
    // clang-format on
    for (const auto &[text, readBack] : rows) {
        CAPTURE(std::string(text));
        const std::optional<LineSettings> line = LineSettings::parse(text);
        CHECK((line ? line->text() : "") == readBack);
        CHECK((!line || LineSettings::parse(line->text())->text() == line->text()));
    }
    CommSettings settings; // the rest of a port's settings: flow control 0 to 3, and so on
    std::string why;
    settings.Handshaking = 3;
    CHECK(LineSettings::of(settings, why)->handshake == LineSettings::Handshake::RtsCtsAndXonXoff);
    settings.Handshaking = 4;
    CHECK((!LineSettings::of(settings, why) && why == "configuração da porta inválida"));
}
