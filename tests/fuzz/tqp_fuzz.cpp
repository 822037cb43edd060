// libFuzzer target for the settings-file reader: any bytes either fail cleanly or give a
// record the window can show, which writes back and reads again as the same record.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "capture_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tqk::rec;
    const AnsiCodec codec = Utf8IdentityCodec();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const CaptureSettings before = DefaultSettings(true);
    CaptureSettings s = before;
    const TqpStatus st = DecodeTqp(bytes, codec, &s);
    if (st != TqpStatus::kOk) {
        if (s != before) std::abort();  // a failed read changes nothing
        return 0;
    }
    if (s.W < 4 || s.W % 4 != 0 || s.H < 1 || s.Fps < kFpsMin || s.Fps > kFpsMax ||
        s.Sec < kSecMin || s.Sec > kSecMax || s.Method < 0 || s.Method > kMethodMax) {
        std::abort();
    }
    std::string again;
    if (EncodeTqp(s, codec, &again) != TqpStatus::kOk) std::abort();
    if (again.size() > size) std::abort();
    CaptureSettings back;
    if (DecodeTqp(again, codec, &back) != TqpStatus::kOk || back != s) std::abort();
    return 0;
}
