#include "line_settings.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

namespace {

constexpr std::pair<long, speed_t> kSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

std::vector<std::string> fieldsOf(const std::string &text)
{
    std::string lower;
    for (char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c)))
            lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::vector<std::string> fields(1);
    for (char c : lower) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

bool parityOf(const std::string &letter, tcflag_t *flags)
{
    static const std::pair<const char *, tcflag_t> parities[] = {
        {"n", 0},
        {"e", PARENB},
        {"o", PARENB | PARODD},
        {"m", PARENB | PARODD | CMSPAR},
        {"s", PARENB | CMSPAR},
    };
    for (const auto &parity : parities) {
        if (letter == parity.first) {
            *flags = parity.second;
            return true;
        }
    }
    return false;
}

} // namespace

bool LineSettings::parse(const std::string &text, LineSettings *line)
{
    const std::vector<std::string> fields = fieldsOf(text);
    if (fields.size() != 4)
        return false;
    const auto speed = std::find_if(std::begin(kSpeeds), std::end(kSpeeds), [&](const auto &s) {
        return std::to_string(s.first) == fields[0];
    });
    static const std::string dataBits[] = {"5", "6", "7", "8"};
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    const auto data = std::find(std::begin(dataBits), std::end(dataBits), fields[2]);
    if (speed == std::end(kSpeeds) || !parityOf(fields[1], &line->parity) ||
        data == std::end(dataBits) || (fields[3] != "1" && fields[3] != "2"))
        return false;
    line->baud = speed->first;
    line->speed = speed->second;
    line->dataBits = sizes[data - std::begin(dataBits)];
    line->twoStopBits = fields[3] == "2";
    line->text = fields[0] + ',' + fields[1] + ',' + fields[2] + ',' + fields[3];
    return true;
}

void LineSettings::applyTo(termios &settings, int handshaking) const
{
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, speed);
    ::cfsetospeed(&settings, speed);
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    settings.c_cflag |= dataBits | parity | CLOCAL | CREAD | (twoStopBits ? CSTOPB : 0);
    settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (parity)
        settings.c_iflag |= INPCK;
    if (handshaking == 1)
        settings.c_iflag |= IXON | IXOFF;
    if (handshaking >= 2)
        settings.c_cflag |= CRTSCTS;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
}
