// The sound file beside a movie, played through the MCI "waveaudio" device. Every MCI error
// is ignored: a movie plays on without sound when the device cannot open or play.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace tqk::player {

class MciSound {
public:
    MciSound() = default;
    MciSound(const MciSound&) = delete;
    MciSound& operator=(const MciSound&) = delete;
    ~MciSound() { Close(); }

    // Opens the file with the time format set to milliseconds; false leaves no device open.
    bool Open(const std::wstring& path);
    void Play();
    // Plays from a position in milliseconds (MCI_FROM): a device that was sought while
    // stopped does not always start where it was sought.
    void PlayFrom(int32_t Posmsec);
    void Stop();
    void Seek(int32_t Posmsec);
    // The device's position in milliseconds, or -1 when none is open or it cannot tell.
    double Position() const;
    void Close();
    uint32_t MciDeviceId() const { return id_; }

private:
    uint32_t id_ = 0;
};

}  // namespace tqk::player
