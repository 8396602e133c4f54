// Which capture driver an index names: the scripted camera first when OVELA_CAMERA describes
// one, then the video capture devices of the system.
#include "capture_source.h"
#include "pattern_source.h"
#include "v4l2_source.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace rxv
{

std::unique_ptr<CaptureSource> connectCaptureDriver(int index)
{
    if (index < 0) return nullptr;
    // Read at every connection, so that a test or a demo can choose its camera before it
    // connects; the program enumerates its drivers once at start-up.
    const char *value = std::getenv("OVELA_CAMERA");
    PatternScript pattern;
    if (value != nullptr && *value != '\0') {
        if (parseCameraScript(value, pattern)) {
            if (index == 0) return std::make_unique<PatternSource>(pattern);
            --index;
        } else {
            static std::once_flag warned;
            std::call_once(warned, [value] {
                std::fprintf(stderr,
                             "OVELA_CAMERA=%s is not understood (expected pattern:WxH:FORMAT[:prepared] with "
                             "FORMAT rgb24, rgb555, yuv12, yvu9, grey8 or grey4); using cameras "
                             "only\n",
                             value);
            });
        }
    }
    const std::vector<std::string> devices = V4l2Source::devices();
    if (static_cast<std::size_t>(index) >= devices.size()) return nullptr;
    return V4l2Source::open(devices[static_cast<std::size_t>(index)]);
}

} // namespace rxv
