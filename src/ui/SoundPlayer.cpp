#include "SoundPlayer.h"

#include "draw/BallMedia.h"

#include <QSoundEffect>
#include <QUrl>

namespace bolaris {

EffectSoundPlayer::EffectSoundPlayer() = default;
EffectSoundPlayer::~EffectSoundPlayer() = default;

void EffectSoundPlayer::play(const QString &path)
{
    if (!m_effect)
        m_effect = std::make_unique<QSoundEffect>();
    m_effect->stop();
    // A broken file (an empty leftover of an interrupted copy, a FIFO) would
    // hang the decoder, and this thread with it, for good.
    if (!BallMedia::isSoundFile(path))
        return;
    // The file is decoded in the background; play() before it is ready plays
    // it once it is.
    m_effect->setSource(QUrl::fromLocalFile(path));
    m_effect->play();
}

} // namespace bolaris
