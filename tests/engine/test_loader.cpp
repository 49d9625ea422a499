// The run-time library loader: system search, a library folder, and libraries that do not fit.
#include "AVProbe.h"
#include "EngineFixtures.h"
#include "FFmpegApi.h"
#include "FFmpegLoader.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

namespace {

constexpr TLibrarySet AllKinds = (TLibrarySet(1) << LibraryKindCount) - 1;

// Required and optional functions of one library, read from the engine's function list.
void ListFunctions(const QString& lib, QStringList& required, QStringList& optional)
{
    QFile inc(QFileInfo(QStringLiteral(__FILE__)).absolutePath() + "/../../engine/loader/FFmpegFunctions.inc");
    ASSERT_TRUE(inc.open(QIODevice::ReadOnly)) << inc.fileName().toStdString();
    static const QRegularExpression entry(QStringLiteral("^(FF_FUNC|FF_OPTIONAL)\\((\\w+), (\\w+)\\)"),
                                          QRegularExpression::MultilineOption);
    auto it = entry.globalMatch(QString::fromUtf8(inc.readAll()));
    while (it.hasNext()) {
        const auto m = it.next();
        if (m.captured(2) == lib)
            (m.captured(1) == "FF_FUNC" ? required : optional) << m.captured(3);
    }
}

// Builds dir/<file> as a shared library exporting the given functions (no-ops), with
// <versionFunction> answering major.0.0.
void BuildStubLibrary(const QString& dir, const QString& file, const QStringList& functions,
                      const QString& versionFunction, int major)
{
    QFile source(dir + "/stub.c");
    ASSERT_TRUE(source.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QTextStream out(&source);
    for (const QString& f : functions) {
        if (f == versionFunction)
            out << "unsigned " << f << "(void) { return " << (major << 16) << "u; }\n";
        else
            out << "void " << f << "(void) {}\n";
    }
    source.close();
    const CommandResult r = RunCommand("cc", {"-shared", "-fPIC", "-o", dir + "/" + file, source.fileName()});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
}

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FFLoader().UnloadLibraries(AllKinds);
        FFLoader().SetLibraryFolder({});
    }
    void TearDown() override
    {
        FFLoader().UnloadLibraries(AllKinds);
        FFLoader().SetLibraryFolder({});
    }

    void ExpectNothingLoaded(TLibrarySet set)
    {
        for (int k = 0; k < LibraryKindCount; ++k)
            if (set & LibrarySet(TLibraryKind(k))) {
                EXPECT_FALSE(FFLoader().IsLoaded(TLibraryKind(k))) << FFLoader().BaseName(TLibraryKind(k)).toStdString();
            }
    }

    QTemporaryDir FDir;
};

} // namespace

TEST_F(LoaderTest, FileNamesCarryTheHeaderMajors)
{
    EXPECT_EQ(TFFmpegLoader::FileName(lkAVCodec), QStringLiteral("libavcodec.so.%1").arg(LIBAVCODEC_VERSION_MAJOR));
    EXPECT_EQ(TFFmpegLoader::FileName(lkAVUtil), QStringLiteral("libavutil.so.%1").arg(LIBAVUTIL_VERSION_MAJOR));
    EXPECT_EQ(TFFmpegLoader::FileName(lkSwResample), QStringLiteral("libswresample.so.%1").arg(LIBSWRESAMPLE_VERSION_MAJOR));
    EXPECT_EQ(TFFmpegLoader::MajorVersion(lkMSVCRT), -1);
}

TEST_F(LoaderTest, SystemSearchLoadsTheEngineSetOnceAndBindsEveryFunction)
{
    ASSERT_TRUE(FFLoader().LoadLibraries(EngineLibrarySet)) << FFLoader().LastError().toStdString();
    EXPECT_TRUE(FFLoader().AllLoaded(EngineLibrarySet));
    EXPECT_TRUE(FFLoader().IsLoaded(lkMSVCRT)); // our own C runtime, nothing loaded for it
    EXPECT_FALSE(FFLoader().IsLoaded(lkAVDevice));
    ASSERT_NE(FF.avcodec_version, nullptr);
    EXPECT_EQ(int(FF.avcodec_version() >> 16), LIBAVCODEC_VERSION_MAJOR);
    EXPECT_NE(FF.swr_convert, nullptr);
    EXPECT_NE(FF.av_buffersink_get_frame, nullptr);

    // Again: a no-op that keeps every binding.
    auto* const before = FF.avformat_open_input;
    ASSERT_TRUE(FFLoader().LoadLibraries(EngineLibrarySet));
    EXPECT_EQ(FF.avformat_open_input, before);

    FFLoader().UnloadLibrary(lkAVFilter);
    EXPECT_FALSE(FFLoader().AllLoaded(EngineLibrarySet));
    EXPECT_EQ(FF.avfilter_graph_alloc, nullptr);
    EXPECT_NE(FF.avformat_open_input, nullptr);
}

TEST_F(LoaderTest, LibraryLackingARequiredFunctionUnloadsTheWholeSet)
{
    // Loaded by an earlier call: must go as well.
    ASSERT_TRUE(FFLoader().LoadLibrary(lkSwScale));
    QStringList required, optional;
    ListFunctions("avutil", required, optional);
    ASSERT_GT(required.size(), 2);
    const QString missing = required[1];
    required.removeAt(1);
    BuildStubLibrary(FDir.path(), TFFmpegLoader::FileName(lkAVUtil), required, "avutil_version", LIBAVUTIL_VERSION_MAJOR);

    FFLoader().SetLibraryFolder(FDir.path()); // no trailing separator: the loader adds it
    EXPECT_FALSE(FFLoader().LoadLibraries(EngineLibrarySet));
    const QString expected = QStringLiteral("Load function %1@%2/%3 error: ")
                                 .arg(missing, FDir.path(), TFFmpegLoader::FileName(lkAVUtil));
    EXPECT_TRUE(FFLoader().LastError().startsWith(expected)) << FFLoader().LastError().toStdString();
    ExpectNothingLoaded(EngineLibrarySet);
    EXPECT_EQ(FF.avutil_version, nullptr);
    EXPECT_EQ(FF.sws_scale, nullptr);
}

TEST_F(LoaderTest, FailureLateInTheSetUnloadsWhatLoadedBefore)
{
    // The real avutil and swresample load first; the folder's swscale lacks its functions.
    BuildStubLibrary(FDir.path(), TFFmpegLoader::FileName(lkSwScale), {"swscale_version"}, "swscale_version",
                     LIBSWSCALE_VERSION_MAJOR);
    FFLoader().SetLibraryFolder(FDir.path() + "/");
    EXPECT_FALSE(FFLoader().LoadLibraries(EngineLibrarySet));
    EXPECT_TRUE(FFLoader().LastError().startsWith(
        QStringLiteral("Load function sws_getContext@%1/%2 error: ").arg(FDir.path(), TFFmpegLoader::FileName(lkSwScale))))
        << FFLoader().LastError().toStdString();
    ExpectNothingLoaded(EngineLibrarySet);
    EXPECT_EQ(FF.av_malloc, nullptr);
}

TEST_F(LoaderTest, WrongMajorVersionIsALoadError)
{
    QStringList required, optional;
    ListFunctions("avutil", required, optional);
    BuildStubLibrary(FDir.path(), TFFmpegLoader::FileName(lkAVUtil), required, "avutil_version",
                     LIBAVUTIL_VERSION_MAJOR - 1);
    FFLoader().SetLibraryFolder(FDir.path());
    EXPECT_FALSE(FFLoader().LoadLibrary(lkAVUtil));
    EXPECT_EQ(FFLoader().LastError(),
              QStringLiteral("Load library %1/%2 error: version %3.0.0 found, major %4 needed")
                  .arg(FDir.path(), TFFmpegLoader::FileName(lkAVUtil))
                  .arg(LIBAVUTIL_VERSION_MAJOR - 1)
                  .arg(LIBAVUTIL_VERSION_MAJOR));
    EXPECT_FALSE(FFLoader().IsLoaded(lkAVUtil));
    EXPECT_EQ(FF.av_malloc, nullptr);
}

TEST_F(LoaderTest, FolderLibraryWinsAndOptionalFunctionsMayBeAbsent)
{
    QStringList required, optional;
    ListFunctions("avutil", required, optional);
    BuildStubLibrary(FDir.path(), TFFmpegLoader::FileName(lkAVUtil), required, "avutil_version", LIBAVUTIL_VERSION_MAJOR);
    FFLoader().SetLibraryFolder(FDir.path());
    ASSERT_TRUE(FFLoader().LoadLibrary(lkAVUtil)) << FFLoader().LastError().toStdString();
    // The stub answers major.0.0; the system's library never would.
    EXPECT_EQ(FF.avutil_version(), unsigned(LIBAVUTIL_VERSION_MAJOR) << 16);
    // Every required avutil function is bound; the optional ones the stub lacks stay null.
    const QString lib = "avutil";
#define FF_FUNC(l, name) if (lib == #l) { EXPECT_NE(reinterpret_cast<void*>(FF.name), nullptr) << #name; }
#define FF_OPTIONAL(l, name) if (lib == #l) { EXPECT_EQ(reinterpret_cast<void*>(FF.name), nullptr) << #name; }
#include "FFmpegFunctions.inc"
#undef FF_FUNC
#undef FF_OPTIONAL
    FFLoader().UnloadLibrary(lkAVUtil);
    EXPECT_EQ(FF.avutil_version, nullptr);
}

TEST_F(LoaderTest, UnloadableFileIsReportedWithItsPath)
{
    QFile bogus(FDir.path() + "/" + TFFmpegLoader::FileName(lkAVUtil));
    ASSERT_TRUE(bogus.open(QIODevice::WriteOnly));
    bogus.write("not a library");
    bogus.close();
    FFLoader().SetLibraryFolder(FDir.path());
    EXPECT_FALSE(FFLoader().LoadLibraries(EngineLibrarySet));
    EXPECT_TRUE(FFLoader().LastError().startsWith(QStringLiteral("Load library %1 error: ").arg(bogus.fileName())))
        << FFLoader().LastError().toStdString();
    ExpectNothingLoaded(EngineLibrarySet);

    // A folder entry that is a directory is not a library file: the system search is used.
    QFile::remove(bogus.fileName());
    QDir(FDir.path()).mkdir(TFFmpegLoader::FileName(lkAVUtil));
    EXPECT_TRUE(FFLoader().LoadLibraries(EngineLibrarySet)) << FFLoader().LastError().toStdString();
}

TEST_F(LoaderTest, ProbeRefusesToWorkWithoutItsLibraries)
{
    ASSERT_TRUE(FFLoader().LoadLibraries(EngineLibrarySet));
    FFLoader().UnloadLibrary(lkSwScale);
    TAVProbe probe;
    try {
        probe.LoadFile("/nonexistent.mp4");
        ADD_FAILURE() << "expected an exception";
    } catch (const FFmpegException& e) {
        EXPECT_EQ(e.Message(), "LibSwScale not loaded.");
    }
    FFLoader().UnloadLibraries(EngineLibrarySet);
    try {
        probe.LoadFile("/nonexistent.mp4");
        ADD_FAILURE() << "expected an exception";
    } catch (const FFmpegException& e) {
        EXPECT_EQ(e.Message(), "LibAVCodec not loaded.");
    }
}
