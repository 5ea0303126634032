#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace bolaris {

// The mark the program puts into the ball media it makes, so that a file it
// made can be told from one the organiser put there (a recorded voice, a
// photographed ball): in a WAV a LIST/INFO chunk before the sound (ISFT
// "Bolaris 90/15", ICMT the making), in a JPEG a comment segment
// ("Bolaris 90/15: " and the making). The making names how the file was made
// ("espeak-ng -v pt-br -s 150 -a 180"), so that a file made another way
// before can be made again.
namespace MediaMark {

inline constexpr const char *kMaker = "Bolaris 90/15";

// The sound or picture with the mark put in; a file of another kind is
// returned as it is.
QByteArray markWav(const QByteArray &wav, const QString &making);
QByteArray markJpeg(const QByteArray &jpeg, const QString &making);

// The making of a marked WAV or JPEG; nothing for a file without the mark.
std::optional<QString> makingOf(const QByteArray &bytes);

} // namespace MediaMark

} // namespace bolaris
