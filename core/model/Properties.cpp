#include "core/model/Properties.h"

#include <stdexcept>
#include <string>

#include "core/model/ProjectArchive.h"

namespace dw {

std::uint32_t SampleRateOfQuality(std::uint32_t quality) {
    if (quality >= kQualityCount)
        throw std::invalid_argument("quality index " + std::to_string(quality) + " outside 0 to 3");
    return kQualityTable[quality].sampleRate;
}

CProperties::CProperties() : sourceFrames(nullptr), sourceFrameCount(0) { SetDefaults(); }

void CProperties::SetDefaults() {
    sourcePath.clear();
    musicLength = 64;
    trimStart = 0.05;
    trimEnd = 0.95;
    sourceLoaded = false;
    sourceMissing = false;
    baseMotifLength = 4.0;
    fractalScanner = true;
    loopMotifs = false;
    quality = 0;
    sampleRate = 11025;
    volume = 0.5;
    loopMusic = false;
    fadeIn = 3;
    fadeOut = 3;
    encoder = 0;
    highCutOn = false;
    highCut = 0.25;
    reverbOn = false;
    reverb = 0.25;
    chorusOn = false;
    chorus = 0.25;
}

void CProperties::AssignStoredFields(const CProperties& other) {
    sourcePath = other.sourcePath;
    musicLength = other.musicLength;
    trimStart = other.trimStart;
    trimEnd = other.trimEnd;
    baseMotifLength = other.baseMotifLength;
    fractalScanner = other.fractalScanner;
    loopMotifs = other.loopMotifs;
    quality = other.quality;
    sampleRate = other.sampleRate;
    volume = other.volume;
    loopMusic = other.loopMusic;
    fadeIn = other.fadeIn;
    fadeOut = other.fadeOut;
    encoder = other.encoder;
    highCutOn = other.highCutOn;
    highCut = other.highCut;
    reverbOn = other.reverbOn;
    reverb = other.reverb;
    chorusOn = other.chorusOn;
    chorus = other.chorus;
    sourceLoaded = false;
    sourceMissing = false;
}

void CProperties::ReleaseSource() {
    sourceLoaded = false;
    sourceFrames.reset();
    sourceFrameCount = 0;
}

// The properties block: twenty fields in this order, written down once for
// both directions.
template <class Self>
void CProperties::SerializeFields(Self& self, CProjectArchive& archive) {
    archive.Field(self.sourcePath);
    archive.Field(self.musicLength);
    archive.Field(self.trimStart);
    archive.Field(self.trimEnd);
    archive.Field(self.baseMotifLength);
    archive.Field(self.fractalScanner);
    archive.Field(self.loopMotifs);
    archive.Field(self.quality);
    archive.Field(self.sampleRate);
    archive.Field(self.volume);
    archive.Field(self.loopMusic);
    archive.Field(self.fadeIn);
    archive.Field(self.fadeOut);
    archive.Field(self.encoder);
    archive.Field(self.highCutOn);
    archive.Field(self.highCut);
    archive.Field(self.reverbOn);
    archive.Field(self.reverb);
    archive.Field(self.chorusOn);
    archive.Field(self.chorus);
}

void CProperties::Serialize(CProjectArchive& archive) {
    SerializeFields(*this, archive);
    // The decoded source (if any) was made for the previous settings.
    if (archive.IsLoading()) sourceLoaded = false;
}

void CProperties::Serialize(CProjectArchive& archive) const { SerializeFields(*this, archive); }

}  // namespace dw
