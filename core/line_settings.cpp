#include "core/line_settings.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kParities = "noems"; // in the order of LineSettings::Parity
const char *const kStopBits[] = {"1", "1.5", "2"};

std::vector<std::string> fieldsOf(const std::string &text)
{
    std::vector<std::string> fields(1);
    for (const char c : text) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (std::string &field : fields) {
        const auto blank = [](char c) { return c == ' ' || c == '\t'; };
        field.erase(field.begin(), std::find_if_not(field.begin(), field.end(), blank));
        field.erase(std::find_if_not(field.rbegin(), field.rend(), blank).base(), field.end());
    }
    return fields;
}

} // namespace

std::optional<LineSettings> LineSettings::parse(const std::string &text)
{
    const std::vector<std::string> fields = fieldsOf(text);
    if (fields.size() != 4 || fields[1].size() != 1 || fields[2].size() != 1)
        return std::nullopt;
    const auto baud = std::find_if(std::begin(kBauds), std::end(kBauds),
                                   [&](long b) { return std::to_string(b) == fields[0]; });
    const std::size_t parity = kParities.find(fields[1][0]);
    const auto stop = std::find(std::begin(kStopBits), std::end(kStopBits), fields[3]);
    if (baud == std::end(kBauds) || parity == std::string_view::npos || fields[2][0] < '5' ||
        fields[2][0] > '8' || stop == std::end(kStopBits))
        return std::nullopt;
    LineSettings line;
    line.baud = *baud;
    line.parity = static_cast<Parity>(parity);
    line.dataBits = fields[2][0] - '0';
    line.stopBits = static_cast<StopBits>(stop - std::begin(kStopBits));
    if ((line.stopBits == StopBits::OneAndHalf && line.dataBits != 5) ||
        (line.stopBits == StopBits::Two && line.dataBits == 5))
        return std::nullopt;
    return line;
}

std::optional<LineSettings> LineSettings::of(const CommSettings &settings, std::string &why)
{
    std::optional<LineSettings> line = parse(settings.Settings);
    if (!line) {
        why = "configuração de linha inválida: " + settings.Settings;
        return std::nullopt;
    }
    if (settings.Handshaking < 0 || settings.Handshaking > 3 || settings.InputMode != 1 ||
        settings.InputLen != 0 || settings.InBufferSize <= 0 || settings.OutBufferSize <= 0) {
        why = "configuração da porta inválida";
        return std::nullopt;
    }
    line->handshake = static_cast<Handshake>(settings.Handshaking);
    return line;
}

std::string LineSettings::text() const
{
    return std::to_string(baud) + ',' + kParities[static_cast<int>(parity)] + ',' +
           std::to_string(dataBits) + ',' + kStopBits[static_cast<int>(stopBits)];
}
