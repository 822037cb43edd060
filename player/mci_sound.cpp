#include "mci_sound.h"

#include <mmsystem.h>

namespace tqk::player {

bool MciSound::Open(const std::wstring& path) {
    Close();
    MCI_OPEN_PARMSW open{};
    open.lpstrDeviceType = L"waveaudio";
    open.lpstrElementName = path.c_str();
    if (mciSendCommandW(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT,
                        reinterpret_cast<DWORD_PTR>(&open)) != 0)
        return false;
    id_ = open.wDeviceID;
    MCI_SET_PARMS set{};
    set.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
    mciSendCommandW(id_, MCI_SET, MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&set));
    return true;
}

void MciSound::Play() {
    if (!id_) return;
    MCI_PLAY_PARMS play{};
    mciSendCommandW(id_, MCI_PLAY, 0, reinterpret_cast<DWORD_PTR>(&play));
}

void MciSound::PlayFrom(int32_t Posmsec) {
    if (!id_) return;
    MCI_PLAY_PARMS play{};
    play.dwFrom = DWORD(Posmsec < 0 ? 0 : Posmsec);
    mciSendCommandW(id_, MCI_PLAY, MCI_FROM, reinterpret_cast<DWORD_PTR>(&play));
}

void MciSound::Stop() {
    if (!id_) return;
    MCI_GENERIC_PARMS p{};
    mciSendCommandW(id_, MCI_STOP, 0, reinterpret_cast<DWORD_PTR>(&p));
}

void MciSound::Seek(int32_t Posmsec) {
    if (!id_) return;
    MCI_SEEK_PARMS seek{};
    seek.dwTo = DWORD(Posmsec < 0 ? 0 : Posmsec);
    mciSendCommandW(id_, MCI_SEEK, MCI_TO, reinterpret_cast<DWORD_PTR>(&seek));
}

double MciSound::Position() const {
    if (!id_) return -1;
    MCI_STATUS_PARMS status{};
    status.dwItem = MCI_STATUS_POSITION;
    if (mciSendCommandW(id_, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status)) !=
        0)
        return -1;
    return double(status.dwReturn);
}

void MciSound::Close() {
    if (!id_) return;
    MCI_GENERIC_PARMS p{};
    mciSendCommandW(id_, MCI_CLOSE, 0, reinterpret_cast<DWORD_PTR>(&p));
    id_ = 0;
}

}  // namespace tqk::player
