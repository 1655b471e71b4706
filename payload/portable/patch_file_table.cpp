#include "payload/portable/patch_file_table.h"

namespace {

// One row as compiled in; PatchFileTable() turns them into PatchFileEntry.
struct PatchFileRow {
  bool on32;
  bool on64;
  int32_t folderCode;
  int32_t resourceId;
  const wchar_t* fileName;
  FileTime16 fileTime;
  FileVersion16 minVersion;
  FileVersion16 maxVersion;
};

// File times (UTC): the components' release build, and the files rebuilt for this update.
constexpr FileTime16 k2013{2013, 9, 11, 2, 0, 0, 0};
constexpr FileTime16 k2015{2015, 4, 17, 2, 0, 0, 0};

// Bounds of the version windows.
constexpr FileVersion16 k0_0_0_0{0, 0, 0, 0};
constexpr FileVersion16 k1_0_0_0{1, 0, 0, 0};
constexpr FileVersion16 k1_3_1_65535{1, 3, 1, 65535};
constexpr FileVersion16 k1_5_2_65535{1, 5, 2, 65535};
constexpr FileVersion16 k2_1_3_65535{2, 1, 3, 65535};
constexpr FileVersion16 k2_2_0_15179{2, 2, 0, 15179};
constexpr FileVersion16 k2_2_2_9099{2, 2, 2, 9099};
constexpr FileVersion16 k2_2_2_9109{2, 2, 2, 9109};
constexpr FileVersion16 k2_2_3_9099{2, 2, 3, 9099};
constexpr FileVersion16 k3_0_2_8159{3, 0, 2, 8159};
constexpr FileVersion16 k3_0_2_15179{3, 0, 2, 15179};
constexpr FileVersion16 k3_0_3_8159{3, 0, 3, 8159};
constexpr FileVersion16 k3_4_1_9099{3, 4, 1, 9099};

// on32, on64, folder code, resource id, file name, file time, lowest and highest installed version replaced.
constexpr PatchFileRow kRows[] = {
    // Product folder (code 0).
    {1, 1,  0, 401, L"core-ui.dll",               k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 402, L"core-model.dll",            k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 403, L"media-browser.dll",         k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 404, L"player-shell.dll",          k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 405, L"playlist-engine.dll",       k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 406, L"library-view.dll",          k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 407, L"photo-viewer.dll",          k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 408, L"video-trim.dll",            k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 409, L"slideshow-maker.dll",       k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 410, L"disc-writer.dll",           k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 411, L"device-transfer.dll",       k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 412, L"tag-editor.dll",            k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 413, L"calendar-view.dll",         k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 414, L"face-group.dll",            k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 415, L"map-view.dll",              k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 416, L"skin-loader.dll",           k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 417, L"print-layout.dll",          k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 418, L"web-upload.dll",            k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 419, L"socialink-sdk.dll",         k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 420, L"account-store.dll",         k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 421, L"help-launcher.dll",         k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 422, L"settings-store.dll",        k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 423, L"render-bridge.dll",         k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 424, L"audio-visual.dll",          k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 425, L"format-convert.dll",        k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 426, L"import-wizard.dll",         k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 427, L"watch-folder.dll",          k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 428, L"TravioHelper.exe",          k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 429, L"TravioScheduler.exe",       k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 430, L"travio-update.dll",         k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 431, L"crash-report.dll",          k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 432, L"mobile-sync.dll",           k2013, k0_0_0_0, k2_2_2_9099},
    {1, 1,  0, 433, L"mobile-transfer.dll",       k2013, k0_0_0_0, k2_2_2_9109},

    // Shared component folder (code 20): tray program, media database, COM servers, watched libraries.
    {1, 1, 20, 434, L"Traylet.exe",               k2013, k0_0_0_0, k3_4_1_9099},
    {1, 1, 20, 435, L"qvldb.dll",                 k2013, k0_0_0_0, k3_0_2_15179},
    {1, 1, 20, 436, L"qvl-catalog.dll",           k2013, k0_0_0_0, k3_0_2_15179},
    {1, 1, 20, 437, L"qvl-player-ctl.dll",        k2013, k0_0_0_0, k3_0_2_15179},
    {1, 1, 20, 438, L"qvl-device-link.dll",       k2013, k0_0_0_0, k3_0_2_15179},
    {1, 1, 20, 439, L"qvl-core.dll",              k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 20, 440, L"media-index.dll",           k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 20, 441, L"thumb-cache.dll",           k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 20, 442, L"meta-reader.dll",           k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 20, 443, L"stream-host.dll",           k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 20, 444, L"device-watch.dll",          k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 20, 445, L"net-share.dll",             k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 20, 446, L"content-import.dll",        k2013, k0_0_0_0, k3_0_2_15179},
    {1, 1, 20, 447, L"schedule-agent.dll",        k2013, k0_0_0_0, k3_0_2_15179},

    // Shell extension (code 24).
    {1, 1, 24, 448, L"context-menu.dll",          k2013, k0_0_0_0, k2_2_0_15179},

    // Media engine (code 35): libraries, then media filters.
    {1, 1, 35, 449, L"velk-core.dll",             k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 450, L"velk-runtime.dll",          k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 451, L"graph-builder.dll",         k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 452, L"clock-sync.dll",            k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 453, L"color-convert.dll",         k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 454, L"frame-scaler.dll",          k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 455, L"deinterlace.dll",           k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 456, L"noise-filter.dll",          k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 457, L"audio-mixer.dll",           k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 458, L"audio-resample.dll",        k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 459, L"audio-render.dll",          k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 460, L"video-render.dll",          k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 461, L"subtitle-render.dll",       k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 462, L"caption-parse.dll",         k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 463, L"container-mp4.dll",         k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 464, L"container-ts.dll",          k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 465, L"container-avi.dll",         k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 466, L"container-mkv.dll",         k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 467, L"stream-demux.dll",          k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 468, L"stream-mux.dll",            k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 469, L"gpu-accel.dll",             k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 470, L"render-engine.dll",         k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 471, L"decoder-h264.dll",          k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 472, L"decoder-mpeg2.dll",         k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 473, L"decoder-mpeg4.dll",         k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 474, L"decoder-vc1.dll",           k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 475, L"decoder-aac.dll",           k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 476, L"decoder-ac3.dll",           k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 477, L"decoder-mp3.dll",           k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 478, L"decoder-pcm.dll",           k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 479, L"encoder-h264.dll",          k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 480, L"encoder-mpeg2.dll",         k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 481, L"encoder-aac.dll",           k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 482, L"encoder-ac3.dll",           k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 483, L"image-decode.dll",          k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 484, L"image-encode.dll",          k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 485, L"thumbnail-extract.dll",     k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 486, L"disc-read.dll",             k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 487, L"disc-author.dll",           k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 488, L"transcode-core.dll",        k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 489, L"transcode-profile.dll",     k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 490, L"license-check.dll",         k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 491, L"engine-log.dll",            k2013, k0_0_0_0, k3_0_2_8159},
    {1, 1, 35, 492, L"codec-probe.ax",            k2013, k0_0_0_0, k3_0_3_8159},
    {1, 1, 35, 493, L"source-file.ax",            k2013, k0_0_0_0, k3_0_3_8159},
    {1, 1, 35, 494, L"source-disc.ax",            k2013, k0_0_0_0, k3_0_3_8159},
    {1, 1, 35, 495, L"splitter-ts.ax",            k2013, k0_0_0_0, k3_0_3_8159},
    {1, 1, 35, 496, L"video-decode.ax",           k2013, k0_0_0_0, k3_0_3_8159},
    {1, 1, 35, 497, L"audio-decode.ax",           k2013, k0_0_0_0, k3_0_3_8159},
    {1, 1, 35, 498, L"video-sink.ax",             k2013, k0_0_0_0, k3_0_3_8159},

    // Product folder (code 0), companion-product files for its modern edition or none.
    {1, 1,  0, 499, L"storyloom-bridge.dll",      k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 500, L"Interop.StoryloomLib.dll",  k2013, k1_0_0_0, k1_0_0_0},
    {1, 1,  0, 501, L"storyloom-export.dll",      k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 502, L"storyloom-import.dll",      k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 503, L"storyloom-project.dll",     k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 504, L"storyloom-preview.dll",     k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 505, L"storyloom-timeline.dll",    k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 506, L"storyloom-titles.dll",      k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 507, L"storyloom-effects.dll",     k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 508, L"storyloom-transitions.dll", k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 509, L"storyloom-music.dll",       k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 510, L"storyloom-share.dll",       k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  0, 511, L"storyloom-launch.dll",      k2013, k0_0_0_0, k2_1_3_65535},

    // Product folder (code 0), the same files for the companion's old edition.
    {1, 1,  0, 512, L"storyloom-bridge.dll",      k2013, k0_0_0_0, k1_3_1_65535},
    {1, 1,  0, 513, L"Interop.StoryloomLib.dll",  k2013, k1_0_0_0, k1_0_0_0},
    {1, 1,  0, 514, L"storyloom-export.dll",      k2013, k0_0_0_0, k1_3_1_65535},
    {1, 1,  0, 515, L"storyloom-import.dll",      k2013, k0_0_0_0, k1_3_1_65535},
    {1, 1,  0, 516, L"storyloom-project.dll",     k2013, k0_0_0_0, k1_3_1_65535},
    {1, 1,  0, 517, L"storyloom-preview.dll",     k2013, k0_0_0_0, k1_3_1_65535},
    {1, 1,  0, 518, L"storyloom-timeline.dll",    k2013, k0_0_0_0, k1_3_1_65535},
    {1, 1,  0, 519, L"storyloom-titles.dll",      k2013, k0_0_0_0, k1_3_1_65535},
    {1, 1,  0, 520, L"storyloom-effects.dll",     k2013, k0_0_0_0, k1_3_1_65535},
    {1, 1,  0, 521, L"storyloom-transitions.dll", k2013, k0_0_0_0, k1_3_1_65535},
    {1, 1,  0, 522, L"storyloom-music.dll",       k2013, k0_0_0_0, k1_3_1_65535},
    {1, 1,  0, 523, L"storyloom-share.dll",       k2013, k0_0_0_0, k1_3_1_65535},
    {1, 1,  0, 524, L"storyloom-launch.dll",      k2013, k0_0_0_0, k1_3_1_65535},

    // Product folder (code 0), rebuilt for this update.
    {1, 1,  0, 525, L"Travio.exe",                k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1,  0, 526, L"TravioUploader.exe",        k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1,  0, 527, L"upload-queue.dll",          k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1,  0, 528, L"share-targets.dll",         k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1,  0, 529, L"travio-services.xml",       k2015, k0_0_0_0, k2_2_3_9099},

    // Language folders (codes 1, 2, 4, 6..9, 11..16): the help file, rebuilt for this update.
    {1, 1,  1, 530, L"product-help.chm",          k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1,  2, 531, L"product-help.chm",          k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1,  4, 532, L"product-help.chm",          k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1,  6, 533, L"product-help.chm",          k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1,  7, 534, L"product-help.chm",          k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1,  8, 535, L"product-help.chm",          k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1,  9, 536, L"product-help.chm",          k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1, 11, 537, L"product-help.chm",          k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1, 12, 538, L"product-help.chm",          k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1, 13, 539, L"product-help.chm",          k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1, 14, 540, L"product-help.chm",          k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1, 15, 541, L"product-help.chm",          k2015, k0_0_0_0, k2_2_3_9099},
    {1, 1, 16, 542, L"product-help.chm",          k2015, k0_0_0_0, k2_2_3_9099},

    // Language folders: the text library; ENG (code 6) also has the guide texts.
    {1, 1,  1, 543, L"lang-text.dll",             k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  2, 544, L"lang-text.dll",             k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  4, 545, L"lang-text.dll",             k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  6, 546, L"lang-text.dll",             k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  7, 547, L"lang-text.dll",             k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  8, 548, L"lang-text.dll",             k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  9, 549, L"lang-text.dll",             k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1, 11, 550, L"lang-text.dll",             k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1, 12, 551, L"lang-text.dll",             k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1, 13, 552, L"lang-text.dll",             k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1, 14, 553, L"lang-text.dll",             k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1, 15, 554, L"lang-text.dll",             k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1, 16, 555, L"lang-text.dll",             k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  6, 556, L"guide-text.dll",            k2013, k0_0_0_0, k1_5_2_65535},

    // Regional folders (codes 3, 5, 10, 18, 19): the regional text library.
    {1, 1,  3, 557, L"region-text.dll",           k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1,  5, 558, L"region-text.dll",           k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1, 10, 559, L"region-text.dll",           k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1, 18, 560, L"region-text.dll",           k2013, k0_0_0_0, k2_1_3_65535},
    {1, 1, 19, 561, L"region-text.dll",           k2013, k0_0_0_0, k2_1_3_65535},
};
static_assert(sizeof(kRows) / sizeof(kRows[0]) == kPatchFileCount, "one row per PATCH resource");

std::vector<PatchFileEntry> BuildPatchFileTable() {
  std::vector<PatchFileEntry> table;
  table.reserve(kPatchFileCount);
  for (const PatchFileRow& row : kRows) {
    table.push_back({row.on32, row.on64, row.folderCode, row.resourceId, row.fileName, row.fileTime,
                     row.minVersion, row.maxVersion});
  }
  return table;
}

}  // namespace

const std::vector<PatchFileEntry>& PatchFileTable() {
  static const std::vector<PatchFileEntry> table = BuildPatchFileTable();
  return table;
}
