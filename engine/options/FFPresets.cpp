#include "FFPresets.h"

namespace {

// Lines in the older option language; the option layer translates them for today's encoder.
// The first pass entries trade analysis for speed (one reference, no sub-partitions, diamond
// search, no trellis); the lossless ones encode at constant quantiser 0.
const struct {
    const char* Name;
    const char* Text;
} PresetTable[] = {
    {"libx264-baseline",
     "coder=0\nbf=0\nflags2=-wpred-dct8x8\nwpredp=0"},
    {"libx264-default",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=hex\nsubq=7\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
     "b_strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=3\ndirectpred=1\ntrellis=1\n"
     "flags2=+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2"},
    {"libx264-fast",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=hex\nsubq=6\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
     "b_strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=2\ndirectpred=1\ntrellis=1\n"
     "flags2=+bpyramid+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2\nrc_lookahead=30"},
    {"libx264-fast_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8\nme_method=dia\nsubq=2\n"
     "me_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=1\n"
     "qcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis=0\n"
     "flags2=+bpyramid-mixed_refs+wpred-dct8x8+fastpskip\nwpredp=2\nrc_lookahead=30"},
    {"libx264-faster",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=hex\nsubq=4\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
     "b_strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=2\ndirectpred=1\ntrellis=1\n"
     "flags2=+bpyramid+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=1\nrc_lookahead=20"},
    {"libx264-faster_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8\nme_method=dia\nsubq=2\n"
     "me_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=1\n"
     "qcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis=0\n"
     "flags2=+bpyramid-mixed_refs+wpred-dct8x8+fastpskip\nwpredp=1\nrc_lookahead=20"},
    {"libx264-fastfirstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8\nme_method=dia\nsubq=1\n"
     "me_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=1\n"
     "qcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis=0\n"
     "flags2=-mixed_refs+wpred-dct8x8+fastpskip\nwpredp=1"},
    {"libx264-hq",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=umh\nsubq=8\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
     "b_strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=16\nrefs=4\ndirectpred=3\n"
     "trellis=1\nflags2=+bpyramid+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2"},
    {"libx264-ipod320",
     "coder=0\nbf=0\nflags2=-wpred-dct8x8\nlevel=13\nmaxrate=768000\nbufsize=3000000\nwpredp=0"},
    {"libx264-ipod640",
     "coder=0\nbf=0\nrefs=1\nflags2=-wpred-dct8x8\nlevel=30\nmaxrate=10000000\nbufsize=10000000\n"
     "wpredp=0"},
    {"libx264-lossless_fast",
     "coder=0\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4-partp8x8-partb8x8\n"
     "me_method=hex\nsubq=3\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
     "b_strategy=1\nqcomp=0.6\nbf=0\nrefs=2\ndirectpred=1\ntrellis=0\n"
     "flags2=+mixed_refs+fastpskip\nwpredp=0\ncqp=0"},
    {"libx264-lossless_max",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8\nme_method=esa\nsubq=9\n"
     "me_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=1\n"
     "qcomp=0.6\nbf=0\nrefs=16\ndirectpred=1\ntrellis=0\nflags2=+mixed_refs+dct8x8-fastpskip\n"
     "wpredp=0\ncqp=0"},
    {"libx264-lossless_medium",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=hex\nsubq=5\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
     "b_strategy=1\nqcomp=0.6\nbf=0\nrefs=2\ndirectpred=1\ntrellis=0\n"
     "flags2=+mixed_refs+fastpskip\nwpredp=0\ncqp=0"},
    {"libx264-lossless_slow",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=umh\nsubq=6\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
     "b_strategy=1\nqcomp=0.6\nbf=0\nrefs=2\ndirectpred=1\ntrellis=0\n"
     "flags2=+mixed_refs+dct8x8+fastpskip\nwpredp=0\ncqp=0"},
    {"libx264-lossless_slower",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8\nme_method=umh\nsubq=8\n"
     "me_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=1\n"
     "qcomp=0.6\nbf=0\nrefs=4\ndirectpred=1\ntrellis=0\nflags2=+mixed_refs+dct8x8+fastpskip\n"
     "wpredp=0\ncqp=0"},
    {"libx264-lossless_ultrafast",
     "coder=0\nflags=-loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partb8x8\n"
     "me_method=dia\nsubq=0\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
     "b_strategy=1\nqcomp=0.6\nbf=0\nrefs=1\ndirectpred=1\ntrellis=0\nflags2=+fastpskip\n"
     "wpredp=0\ncqp=0"},
    {"libx264-main",
     "flags2=-dct8x8"},
    {"libx264-max",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8\nme_method=full\nsubq=9\n"
     "me_range=24\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=2\n"
     "qcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=16\nrefs=16\ndirectpred=3\ntrellis=2\n"
     "flags2=+bpyramid+mixed_refs+wpred+dct8x8-fastpskip\nwpredp=2"},
    {"libx264-medium",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=hex\nsubq=7\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
     "b_strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=3\ndirectpred=1\ntrellis=1\n"
     "flags2=+bpyramid+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2\nrc_lookahead=40"},
    {"libx264-medium_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8\nme_method=dia\nsubq=2\n"
     "me_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=1\n"
     "qcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis=0\n"
     "flags2=+bpyramid-mixed_refs+wpred-dct8x8+fastpskip\nwpredp=2\nrc_lookahead=40"},
    {"libx264-normal",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=hex\nsubq=6\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
     "b_strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=2\ndirectpred=3\ntrellis=0\n"
     "flags2=+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2"},
    {"libx264-placebo",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8\nme_method=tesa\nsubq=10\n"
     "me_range=24\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=2\n"
     "qcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=16\nrefs=16\ndirectpred=3\ntrellis=2\n"
     "flags2=+bpyramid+mixed_refs+wpred+dct8x8-fastpskip\nwpredp=2\nrc_lookahead=60"},
    {"libx264-placebo_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8\nme_method=dia\nsubq=2\n"
     "me_range=24\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=2\n"
     "qcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=16\nrefs=1\ndirectpred=3\ntrellis=0\n"
     "flags2=+bpyramid-mixed_refs+wpred-dct8x8+fastpskip\nwpredp=2\nrc_lookahead=60"},
    {"libx264-slow",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=umh\nsubq=8\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
     "b_strategy=2\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=5\ndirectpred=3\ntrellis=1\n"
     "flags2=+bpyramid+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2\nrc_lookahead=50"},
    {"libx264-slow_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8\nme_method=dia\nsubq=2\n"
     "me_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=2\n"
     "qcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=3\ntrellis=0\n"
     "flags2=+bpyramid-mixed_refs+wpred-dct8x8+fastpskip\nwpredp=2\nrc_lookahead=50"},
    {"libx264-slower",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8\nme_method=umh\nsubq=9\n"
     "me_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=2\n"
     "qcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=8\ndirectpred=3\ntrellis=2\n"
     "flags2=+bpyramid+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2\nrc_lookahead=60"},
    {"libx264-slower_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8\nme_method=dia\nsubq=2\n"
     "me_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=2\n"
     "qcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=3\ntrellis=0\n"
     "flags2=+bpyramid-mixed_refs+wpred-dct8x8+fastpskip\nwpredp=2\nrc_lookahead=60"},
    {"libx264-slowfirstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=hex\nsubq=4\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
     "b_strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=3\ntrellis=0\n"
     "flags2=+bpyramid-mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2"},
    {"libx264-superfast",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4-partp8x8-partb8x8\n"
     "me_method=dia\nsubq=1\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
     "b_strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis=0\n"
     "flags2=+bpyramid-mixed_refs+wpred+dct8x8+fastpskip-mbtree\nwpredp=0\nrc_lookahead=0"},
    {"libx264-superfast_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8\nme_method=dia\nsubq=1\n"
     "me_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=1\n"
     "qcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis=0\n"
     "flags2=+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree\nwpredp=0\nrc_lookahead=0"},
    {"libx264-ultrafast",
     "coder=0\nflags=-loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partb8x8\n"
     "me_method=dia\nsubq=0\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=0\ni_qfactor=0.71\n"
     "b_strategy=0\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=0\nrefs=1\ndirectpred=1\ntrellis=0\n"
     "flags2=-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree\nwpredp=0\nrc_lookahead=0\n"
     "aq_mode=0"},
    {"libx264-ultrafast_firstpass",
     "coder=0\nflags=-loop\ncmp=+chroma\n"
     "partitions=-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8\nme_method=dia\nsubq=0\n"
     "me_range=16\ng=250\nkeyint_min=25\nsc_threshold=0\ni_qfactor=0.71\nb_strategy=0\n"
     "qcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=0\nrefs=1\ndirectpred=1\ntrellis=0\n"
     "flags2=-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree\nwpredp=0\nrc_lookahead=0\n"
     "aq_mode=0"},
    {"libx264-veryfast",
     "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
     "me_method=hex\nsubq=2\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
     "b_strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis=0\n"
     "flags2=+bpyramid-mixed_refs+wpred+dct8x8+fastpskip\nwpredp=1\nrc_lookahead=10"},
    {"libx264-veryfast_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8\nme_method=dia\nsubq=2\n"
     "me_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=1\n"
     "qcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=1\ndirectpred=1\ntrellis=0\n"
     "flags2=+bpyramid-mixed_refs+wpred-dct8x8+fastpskip\nwpredp=1\nrc_lookahead=10"},
    {"libx264-veryslow",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8\nme_method=umh\nsubq=10\n"
     "me_range=24\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=2\n"
     "qcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=8\nrefs=16\ndirectpred=3\ntrellis=2\n"
     "flags2=+bpyramid+mixed_refs+wpred+dct8x8+fastpskip\nwpredp=2\nrc_lookahead=60"},
    {"libx264-veryslow_firstpass",
     "coder=1\nflags=+loop\ncmp=+chroma\n"
     "partitions=-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8\nme_method=dia\nsubq=2\n"
     "me_range=24\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=2\n"
     "qcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\nbf=8\nrefs=1\ndirectpred=3\ntrellis=0\n"
     "flags2=+bpyramid-mixed_refs+wpred-dct8x8+fastpskip\nwpredp=2\nrc_lookahead=60"},
};

} // namespace

const std::vector<TOptionsPreset>& BuiltinPresets()
{
    static const std::vector<TOptionsPreset> presets = [] {
        std::vector<TOptionsPreset> list;
        for (const auto& p : PresetTable)
            list.push_back({QString::fromLatin1(p.Name), QString::fromLatin1(p.Text)});
        return list;
    }();
    return presets;
}

const TOptionsPreset* FindBuiltinPreset(const QString& name)
{
    for (const TOptionsPreset& p : BuiltinPresets())
        if (p.Name.compare(name, Qt::CaseInsensitive) == 0) return &p;
    return nullptr;
}
