#include "Cp932.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <stdexcept>

#include <iconv.h>

namespace cp932 {
namespace {

// glibc's CP932 table already decodes every code as Windows does and picks the
// code Windows prefers for characters with several. It also folds two
// characters into ASCII that Windows only maps by best fit and that would come
// back as different characters; we refuse those instead.
constexpr std::array<std::string_view, 2> RefusedUtf8 = {
    "\xC2\xA5",      // U+00A5 YEN SIGN -> 0x5C, which reads back as a backslash
    "\xE2\x80\xBE",  // U+203E OVERLINE -> 0x7E, which reads back as a tilde
};

constexpr std::string_view ReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD

// One conversion descriptor per direction and thread, opened on first use.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv cannot convert between CP932 and UTF-8");
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much of in as it can, appending to out. Returns the errno of
    // the stop (0 when everything was converted); in is advanced past what was
    // converted.
    int Convert(std::string_view& in, std::string& out)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = const_cast<char*>(in.data());  // iconv never writes through it
        std::size_t inLeft = in.size();
        int error = 0;
        while (inLeft > 0) {
            std::array<char, 1024> chunk;
            char* outPtr = chunk.data();
            std::size_t outLeft = chunk.size();
            const std::size_t result = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            const int stop = result == static_cast<std::size_t>(-1) ? errno : 0;
            out.append(chunk.data(), outPtr);
            if (stop != 0 && stop != E2BIG) {
                error = stop;
                break;
            }
        }
        in.remove_prefix(in.size() - inLeft);
        return error;
    }

private:
    iconv_t cd_;
};

Converter& Decoder()
{
    thread_local Converter converter("UTF-8", "CP932");
    return converter;
}

Converter& Encoder()
{
    thread_local Converter converter("CP932", "UTF-8");
    return converter;
}

bool IsAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool HasRefusedCharacter(std::string_view utf8)
{
    return std::any_of(RefusedUtf8.begin(), RefusedUtf8.end(), [utf8](std::string_view refused) {
        return utf8.find(refused) != std::string_view::npos;
    });
}

}  // namespace

std::string ToUtf8(std::string_view sjis)
{
    if (IsAscii(sjis))
        return std::string(sjis);
    std::string out;
    out.reserve(sjis.size() * 3 / 2);
    Converter& decoder = Decoder();
    while (!sjis.empty()) {
        if (decoder.Convert(sjis, out) == 0)
            break;
        // An invalid or truncated sequence: give up on its first byte only, so
        // a valid character right after it still decodes.
        out.append(ReplacementUtf8);
        sjis.remove_prefix(1);
    }
    return out;
}

std::optional<std::string> FromUtf8(std::string_view utf8)
{
    if (IsAscii(utf8))
        return std::string(utf8);
    // UTF-8 is self-synchronising, so a byte match is a character match.
    if (HasRefusedCharacter(utf8))
        return std::nullopt;
    std::string out;
    out.reserve(utf8.size());
    if (Encoder().Convert(utf8, out) != 0)
        return std::nullopt;
    return out;
}

bool CanEncode(std::string_view utf8)
{
    return FromUtf8(utf8).has_value();
}

std::optional<std::size_t> ByteLength(std::string_view utf8)
{
    if (IsAscii(utf8))
        return utf8.size();
    const std::optional<std::string> encoded = FromUtf8(utf8);
    if (!encoded)
        return std::nullopt;
    return encoded->size();
}

}  // namespace cp932
