// What is heard and overlaid: the audio stream, the dual-mono half, captions
// and superimposed text with their gate, volume and mute, and the audio label
// the status bar shows.

#include "ISDBtAppEngine.h"

#include "ISDBtDataManager.h"
#include "ISDBtUtil.h"
#include "KelpAppLog.h"
#include "KvrOzbFSegPlayer.h"
#include "SubtitleItem.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

const int kAudioLevelMax = 20;
// Audio modes of the player's audio record.
enum AudioMode { AudioMono = 1, AudioDualMono = 2 };
const int kMaxAudioStreams = 3;

QString trText(const char* key)
{
    return QCoreApplication::translate("StringInfo", key);
}

const char* audioModeName(int mode)
{
    return mode == AudioMono ? "MONO" : mode == AudioDualMono ? "DUAL_MONO" : "STEREO";
}

// The next value of a three-way setting toggled without an argument:
// 0 -> 1, 1 -> 0, 2 -> 0.
int toggledSetting(int current)
{
    return current > 1 ? 0 : 1 - current;
}

// Label of one channel of an audio stream: none for a code below 1, else the
// broadcast's own name, else the name of the language code.
QString languageLabel(int code, const QString& text)
{
    if (code < 1)
        return QString();
    if (!text.isEmpty())
        return text;
    return sutil::makeLanguageText(code);
}

}  // namespace

BilingualInfo ISDBtAppEngine::bilingualInfo() const
{
    if (m_pPlayer != nullptr && m_pPlayer->m_pBilingualInfo != nullptr)
        return *m_pPlayer->m_pBilingualInfo;
    return BilingualInfo();
}

void ISDBtAppEngine::execBilingualChange(int mode)
{
    LOG_I("[%s] mode(%d)", __func__, mode);
    if (mode < 0)
        changeBilingualToggle();
    else
        changeBilingual(mode, false);
}

void ISDBtAppEngine::execAudioIndexChange(int index)
{
    LOG_I("[%s] index(%d)", __func__, index);
    if (index < 0)
        index = toggledSetting(m_pDataManager->getBilingual());
    // The value only chooses between toggling and the invalid log: the key
    // cycles streams itself.
    changeBilingual(index, true);
}

void ISDBtAppEngine::execSetSubtitle(int value)
{
    LOG_I("[%s] value(%d)", __func__, value);
    if (value < 0)
        value = toggledSetting(m_pDataManager->getSubtitle());
    m_pPlayer->setSubtitle(value);
    m_pDataManager->setSubtitle(value);
}

void ISDBtAppEngine::execSetSuperImpose(int value)
{
    LOG_I("[%s] value(%d)", __func__, value);
    if (value < 0)
        value = toggledSetting(m_pDataManager->getSuperImpose());
    m_pPlayer->setSuperImpose(value);
    m_pDataManager->setSuperImpose(value);
}

void ISDBtAppEngine::execChangeAudioMute()
{
    LOG_I("[%s]", __func__);
    m_pDataManager->setAudioMute(!m_pDataManager->getAudioMute());
}

void ISDBtAppEngine::execChangeShowChannelInfo()
{
    LOG_I("[%s]", __func__);
    const int next = m_pDataManager->getShowChannelInfo() + 1;
    m_pDataManager->setShowChannelInfo(next > 2 ? 0 : next);
}

void ISDBtAppEngine::execAudioLevelChange(int value)
{
    LOG_I("[%s] value(%d)", __func__, value);
    if (value < 0 || value > kAudioLevelMax) {
        LOG_I("[%s] value(%d) is invalid", __func__, value);
        return;
    }
    changeAudioLevel(value);
}

void ISDBtAppEngine::execChangeAudioLevel(bool up)
{
    LOG_I("[%s] up(%d)", __func__, up);
    int level = m_pDataManager->getAudioLevel();
    if (up && level < kAudioLevelMax)
        ++level;
    else if (!up && level > 0)
        --level;
    changeAudioLevel(level);
}

void ISDBtAppEngine::changeAudioLevel(int level)
{
    LOG_I("[%s] audioLevel : %d", __func__, level);
    if (level < 0)
        level = 0;
    if (level > kAudioLevelMax)
        level = kAudioLevelMax;
    m_pDataManager->setAudioLevel(level);
}

void ISDBtAppEngine::AppReqSetAudioIndex(int value)
{
    LOG_I("[%s] mainSub(%d)", __func__, value);
    changeBilingual(value, true);
}

void ISDBtAppEngine::changeBilingual(int mode, bool toggle)
{
    if (static_cast<unsigned>(mode) > 2) {
        LOG_I("[%s] mode(%d) is invalid", __func__, mode);
        return;
    }
    if (toggle)
        changeBilingualToggle();
    else
        changeBilingualMode(mode);
}

void ISDBtAppEngine::changeBilingualMode(int mode)
{
    if (mode < 0 || mode > 2) {
        LOG_I("[%s] mode(%d) is invalid", __func__, mode);
        return;
    }
    LOG_I("[%s] bilingual(%d -> %d)", __func__, m_pDataManager->getBilingual(), mode);
    m_pDataManager->setBilingual(mode);
    setAudioSel(mode);
    if (bilingualInfo().audioMode == AudioDualMono)
        notifyBilingualSettingInfo();
}

void ISDBtAppEngine::changeBilingualToggle()
{
    const BilingualInfo info = bilingualInfo();
    const int segType = m_pDataManager->getCurrSegType();
    LOG_I("[%s] current  currSeg(%d) audioIndex(%d) bilingual(%d) ", __func__, segType,
          m_pDataManager->getCurrAudioIndex(), m_pDataManager->getBilingual());
    LOG_I("[%s] bilingualInfo audioMode(%d) totalAudioPID(%d)", __func__, info.audioMode, info.totalAudioPID);
    if (segType == 0 && info.totalAudioPID > 1) {
        const int streams = qMin(info.totalAudioPID, kMaxAudioStreams);
        int next = m_pDataManager->getCurrAudioIndex() + 1;
        if (next >= streams)
            next = 0;
        setAudioIndex(next);
        notifyAudioIndexSettingInfo();
    } else if (info.audioMode == AudioDualMono) {
        const int next = m_pDataManager->getBilingual() + 1;
        changeBilingualMode(next > 2 ? 0 : next);
    } else {
        emit sendSettingInfoMesssage(trText("STR_NO_AUDIO_MSG"));
    }
}

void ISDBtAppEngine::setAudioSel(int n)
{
    LOG_I("[%s] index(%d)(%s)", __func__, n, n == 0 ? "LEFT" : n == 1 ? "RIGHT" : "LEFT_RIGHT");
    m_pPlayer->setAudioDualMono(n);
    setBilingualText(makeBilingualInfoText());
}

void ISDBtAppEngine::setAudioIndex(int n)
{
    LOG_I("[%s] index(%d)(%s)", __func__, n, n == 0 ? "ES_1" : n == 1 ? "ES_2" : "ES_3");
    m_pPlayer->setAudioIndex(n);
    m_pDataManager->setCurrAudioIndex(n);
    setBilingualText(makeBilingualInfoText());
}

QString ISDBtAppEngine::getDualAudioLanguageText()
{
    const BilingualInfo info = bilingualInfo();
    const int bilingual = m_pDataManager->getBilingual();
    const int segType = m_pDataManager->getCurrSegType();
    int index = m_pDataManager->getCurrAudioIndex();
    LOG_I("[%s] bilingual(%d) currSeg(%d) audioIndex(%d)", __func__, bilingual, segType, index);
    for (int i = 0; i < kMaxAudioStreams; ++i) {
        LOG_I("[%s] bilingualInfo.audioMain[%d] : (0x%x(%s))(%s)", __func__, i, info.audioMain[i],
              sutil::makeLanguageText(info.audioMain[i]).toLocal8Bit().constData(),
              info.audioMainText[i].toLocal8Bit().constData());
        LOG_I("[%s] bilingualInfo.audioSub[%d] : (0x%x(%s))(%s)", __func__, i, info.audioSub[i],
              sutil::makeLanguageText(info.audioSub[i]).toLocal8Bit().constData(),
              info.audioSubText[i].toLocal8Bit().constData());
    }
    if (segType != 0 || info.totalAudioPID < 2) {
        if (info.audioMode != AudioDualMono)
            return QString();
        return trText(bilingual == 1 ? "STR_SUB" : bilingual == 2 ? "STR_MAIN_SUB" : "STR_MAIN");
    }
    // The index is memory-only and stays within the three streams.
    if (index < 0 || index >= kMaxAudioStreams)
        index = 0;
    const QString main = languageLabel(info.audioMain[index], info.audioMainText[index]);
    const QString sub = languageLabel(info.audioSub[index], info.audioSubText[index]);
    if (info.audioMode != AudioDualMono || bilingual == 0)
        return main;
    if (bilingual == 1)
        return sub.isEmpty() ? main : sub;
    if (!main.isEmpty() && !sub.isEmpty())
        return main + QStringLiteral(" / ") + sub;
    return main;
}

QString ISDBtAppEngine::getAudioEsText()
{
    return trText("STR_AUDIO") + QString::number(m_pDataManager->getCurrAudioIndex() + 1) + QStringLiteral(" : ");
}

QString ISDBtAppEngine::makeBilingualInfoText()
{
    const BilingualInfo info = bilingualInfo();
    if (info.totalAudioPID < 2)
        return info.audioMode == AudioDualMono ? getDualAudioLanguageText() : QString();
    const QString label = getDualAudioLanguageText();
    return label.isEmpty() ? QString() : getAudioEsText() + label;
}

void ISDBtAppEngine::notifyBilingualSettingInfo()
{
    const int bilingual = m_pDataManager->getBilingual();
    emit sendSettingInfoMesssage(trText(bilingual == 1   ? "STR_CHANGE_SUB_AUDIO_MSG"
                                    : bilingual == 2 ? "STR_CHANGE_MAIN_SUB_AUDIO_MSG"
                                                     : "STR_CHANGE_MAIN_AUDIO_MSG"));
}

void ISDBtAppEngine::notifyAudioIndexSettingInfo()
{
    const int index = m_pDataManager->getCurrAudioIndex();
    emit sendSettingInfoMesssage(trText(index == 1   ? "STR_CHANGE_ES2_AUDIO_MSG"
                                    : index == 2 ? "STR_CHANGE_ES3_AUDIO_MSG"
                                                 : "STR_CHANGE_ES1_AUDIO_MSG"));
}

void ISDBtAppEngine::notifySegSettingInfo()
{
    static const char* const kSegModeKeys[] = {"STR_FIXED_12SEG", "STR_FIXED_1SEG", "STR_AUTO",
                                               "STR_AUTO_1SEG_PRIORITY", "STR_AUTO_12SEG_PRIORITY"};
    const int segMode = m_pDataManager->getSegMode();
    if (segMode >= 0 && segMode < 5)
        emit sendSettingInfoMesssage(trText(kSegModeKeys[segMode]));
}

void ISDBtAppEngine::setBilingualAfterSetChannel()
{
    if (m_pDataManager->getCurrAudioIndex() != 0)
        m_pDataManager->setCurrAudioIndex(0);
    LOG_I("[%s] bilingualMode(%d), currentAudio [Index(%d), sel(%d)]", __func__, m_pDataManager->getBilingual(),
          m_pDataManager->getCurrAudioIndex(), m_pDataManager->getCurrAudioSel());
}

void ISDBtAppEngine::onNotifyBilingualInfoUpdate()
{
    if (m_nOzbState != Prepared) {
        LOG_I("[%s] - OzbState is not Prepared. return!!", __func__);
        return;
    }
    const BilingualInfo info = bilingualInfo();
    LOG_I("[%s] audioPid(%d) audioMode(%d)(%s)", __func__, info.totalAudioPID, info.audioMode,
          audioModeName(info.audioMode));
    m_pDataManager->setCurrAudioPid(info.totalAudioPID);
    m_pDataManager->setCurrAudioMode(info.audioMode);
    m_pDataManager->setCurrAudioSel(info.audioMode == AudioDualMono ? m_pDataManager->getBilingual() : 0);
    setBilingualText(makeBilingualInfoText());
}

void ISDBtAppEngine::startBilingualUpdate()
{
    m_bBilingualUpdate = true;
    m_pBilingualUpdateExpireTimer->start();
}

void ISDBtAppEngine::bilingualUpdateExpireTimerHandler()
{
    m_bBilingualUpdate = false;
    LOG_I("[%s] m_bBilingualUpdate(%d)", __func__, m_bBilingualUpdate);
}

void ISDBtAppEngine::refreshBilingualWhileUpdatable()
{
    if (!m_bBilingualUpdate || m_nOzbState != Prepared)
        return;
    const QString text = makeBilingualInfoText();
    if (text != m_sBilingualText)
        setBilingualText(text);
}

void ISDBtAppEngine::onNotifyBilingualModeChanged(int mode)
{
    LOG_I("[%s] mode(%d)", __func__, mode);
}

void ISDBtAppEngine::clearSubtitleImage()
{
    LOG_I("[%s]", __func__);
    m_bEnableSubtitleUpdate = false;
    SubtitleItem::getInstance()->clearData(0);
    m_pSubtitleTimer->start();
    emit sendSubtitleUpdate();
}

void ISDBtAppEngine::subtitleTimerHandler()
{
    m_bEnableSubtitleUpdate = true;
    LOG_I("[%s] m_bEnableSubtitleUpdate(%d)", __func__, m_bEnableSubtitleUpdate);
}

void ISDBtAppEngine::onNotifySubtitleUpdate()
{
    LOG_I("[%s] m_bEnableSubtitleUpdate(%d)", __func__, m_bEnableSubtitleUpdate);
    if (m_nOzbState != Prepared) {
        LOG_I("[%s] - OzbState is not Prepared. return!!", __func__);
        return;
    }
    if (!m_bEnableSubtitleUpdate)
        return;
    SubtitleItem* subtitle = SubtitleItem::getInstance();
    const int currentSID = m_pDataManager->getCurrServiceID();
    LOG_I("[%s] SID(%d) currentSID(%d)", __func__, subtitle->m_nSID, currentSID);
    if (subtitle->m_nSID == currentSID)
        emit sendSubtitleUpdate();
    else
        subtitle->clearData(currentSID);
}
