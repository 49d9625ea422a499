#pragma once
// The catalogue of output formats and presets, and the translation of a chosen preset into the
// output options of one conversion task (file name, codecs, rates, picture fit with padding).
// QtCore and the engine records only: the pages fill their lists from these tables and the
// conversion run calls BuildOutputOptions per input.
#include "EditionConfig.h" // TFormatClass and FormatClassCount: one definition for pages and core
#include "FFmpegRecords.h"

#include <QString>
#include <QStringList>

#include <span>

struct TAppSettings;
struct TAudioStreamInfo;
struct TVideoStreamInfo;

// Parameters a preset sets beyond the common columns. Null texts and -1/0 numbers set nothing.
struct TPresetExtras {
    const char* ForceFormat = nullptr;
    const char* VideoTag = nullptr;
    const char* VideoPreset = nullptr;
    const char* ExtOptions = nullptr;
    int MinMaxRate = -1;  // MinRate and MaxRate alike
    int BufferSize = -1;
    int Target = 0;       // 1 vcd, 2 svcd, 3 dvd
    int TargetNorm = 0;   // 1 pal, 2 ntsc
    bool AudioBitrateFromSource = false; // the input's first audio stream gives the bit rate
};

// One entry of a preset list. Null texts and -1 numbers set nothing; a fit of 0 x 0 keeps the
// source picture size (no frame size, padding or aspect).
struct TPreset {
    const char* Text;
    const char* VideoCodec;
    int FitWidth;
    int FitHeight;
    const char* FrameRate;
    int VideoBitrate;
    const char* AudioCodec;
    int AudioChannels;
    int AudioSampleRate;
    int AudioBitrate;
    TPresetExtras Extras;

    bool HasFit() const { return FitWidth > 0 && FitHeight > 0; }
};

struct TOutputFormat {
    TFormatClass FormatClass;
    int Index;              // within its class; the value of Output*Format
    const char* Name;       // "AVI", "iPod", ...
    const char* Button;     // object name of its button
    const char* PresetList; // object name of its preset list
    const char* Extension;  // with the dot
    qint32 TAppSettings::*PresetKey; // the settings field holding the selected preset index
    const char* PresetKeyName;       // its key in the settings file
    std::span<const TPreset> Presets;
};

// Option texts shared by several H.264 presets.
extern const char* const PresetOptionsA;
extern const char* const PresetOptionsB;

// All 24 formats, class by class, each class in index order.
std::span<const TOutputFormat> OutputFormats();
// The formats of one class in index order; empty for an unknown class.
std::span<const TOutputFormat> OutputFormatsOfClass(int formatClass);
// Null when the class or index is outside the table.
const TOutputFormat* FindOutputFormat(int formatClass, int formatIndex);
// Lookup by name ("mp3", "IPOD", "3gp"), without regard to case; null when unknown.
const TOutputFormat* FindOutputFormatByName(const QString& name);
// Null when the format is unknown or the index is outside its list.
const TPreset* FindPreset(int formatClass, int formatIndex, int presetIndex);
// The list texts of a format in list order (empty for an unknown format).
QStringList PresetListTexts(const TOutputFormat& format);
// Number of presets of all formats together.
int PresetCount();

// What the user chose on the output page.
struct TOutputChoice {
    int FormatClass = fcVideo;
    int FormatIndex = 0;   // within the class
    int PresetIndex = -1;  // within the format's list; -1 = nothing selected
    QString OutputDir;

    const TOutputFormat* Format() const { return FindOutputFormat(FormatClass, FormatIndex); }
    const TPreset* Preset() const { return FindPreset(FormatClass, FormatIndex, PresetIndex); }
};

// The choice the settings hold: the class, the format of that class and its preset key.
TOutputChoice OutputChoiceFromSettings(const TAppSettings& settings);

// Extension (with the dot) of the chosen format; empty when the format is unknown.
QString FormatExtension(int formatClass, int formatIndex);
QString FormatExtension(const TOutputChoice& choice);
QString FormatExtension(const TAppSettings& settings);

// The facts of one input that the translation needs, taken from the probe's records.
struct TSourceFacts {
    QString FileName;             // the name under which the input was opened
    int Width = -1;               // first video stream; -1 when absent
    int Height = -1;
    double DisplayAspect = -1.0;  // 0 (or absent): the stream declares no sample aspect
    int AudioBitrate = -1;        // first audio stream, bits per second; -1 when absent
};

// Facts from the probe's records; a null record leaves its fields absent.
TSourceFacts SourceFactsFromProbe(const QString& fileName, const TVideoStreamInfo* video,
                                  const TAudioStreamInfo* audio);
// Geometry from the texts of the conversion list's join columns: "640x480" and "1.333".
// Unreadable texts leave the fields absent, so no fit is made.
TSourceFacts SourceFactsFromTexts(const QString& sizeText, const QString& aspectText);

// Fits a source picture into W x H keeping its shape: FrameSize "w*h", padding up to W x H and
// the aspect of the padded picture. False (options untouched) when the source has no usable
// size or the target is empty.
bool FitFrame(TOutputOptions& options, const TSourceFacts& source, int fitWidth, int fitHeight);

// The part of the translation shared by the per-file and the join run: DisableVideo by class,
// the preset's fields, the fit. `join` sets Join and leaves a source-dependent audio bit rate
// unset. A choice outside the tables sets only the class field.
void ApplyPreset(TOutputOptions& options, const TOutputChoice& choice, const TSourceFacts& source,
                 bool join);

// A file name (without folder) that neither exists in `folder` nor is among `takenInRun`
// (names given to earlier outputs of the same run, not on disk yet). Empty when none is free.
QString UniqueOutputName(const QString& fileName, const QString& folder,
                         const QStringList& takenInRun);

// The complete output options for one input. The output name is the input's base name with
// the format's extension, made unique in the output folder and against `takenInRun`, to which
// it is added. False with *error when no name could be made; options are then untouched.
bool BuildOutputOptions(const TOutputChoice& choice, const TSourceFacts& source,
                        QStringList& takenInRun, TOutputOptions& options,
                        QString* error = nullptr);

// The same for the join run: "Output_Merge" + extension, Join set, geometry of the first row.
bool BuildJoinOutputOptions(const TOutputChoice& choice, const TSourceFacts& firstRow,
                            QStringList& takenInRun, TOutputOptions& options,
                            QString* error = nullptr);
