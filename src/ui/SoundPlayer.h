#pragma once

#include <QString>

#include <memory>

class QSoundEffect;

namespace bolaris {

// Plays a WAV file without waiting for it; a newer sound cuts off one still
// playing. Failures (no file, a broken file, no audio device) are swallowed.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString &path) = 0;
};

class EffectSoundPlayer : public SoundPlayer {
public:
    EffectSoundPlayer();
    ~EffectSoundPlayer() override;
    void play(const QString &path) override;

private:
    std::unique_ptr<QSoundEffect> m_effect; // made at the first sound
};

} // namespace bolaris
