#pragma once
// Where the video service lives. The link test and the media address both take it from here,
// so a test or a local mirror moves both at once through VORNIC_VIDEO_HOST.
#include <QString>

struct TVideoService {
    QString Domain;     // looked for (lower case) in a link
    QString Host;       // host[:port] of the media address
    QString ShortDomain;  // of the short links the site's Share button gives; none for a stand-in
};

// The real service, or the text of VORNIC_VIDEO_HOST (for example "127.0.0.1:8123") for both.
TVideoService VideoService();
