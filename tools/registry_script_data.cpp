#include "tools/registry_script_data.h"

#include "payload/portable/patch_file_table.h"

namespace regscript {
namespace {

// The system's marshallers: dual and oleautomation interfaces, dispinterfaces.
constexpr const char* kOleAutomation = "{00020424-0000-0000-C000-000000000046}";
constexpr const char* kDispatch = "{00020420-0000-0000-C000-000000000046}";

}  // namespace

// The GUIDs were drawn once for this product and are fixed from then on.
const std::array<ComServer, 3> kServers = {{
    {kCatalogServerLibrary, "QVL-CA~1.DLL", "QVL Catalog Server", "{E17C1097-5EA0-4E85-BABF-3B626A3B266B}",
     "{85F9FA2A-374C-48E8-A3E9-4424B76280FA}", "QVL Catalog 1.0 Type Library", "SharedComponents_CatalogServer",
     "{86F3F63C-C8CD-4C34-B302-6D072CD8B6A5}"},
    {kPlayerControlLibrary, "QVL-PL~1.DLL", "QVL Player Control", "{05488DF0-C89D-4285-AC76-38BF604C5336}",
     "{2BD09FDA-87AD-429F-8D69-4C8324E6FD16}", "QVL Player Control 1.0 Type Library", "SharedComponents_PlayerControl",
     "{AF3E4E50-2497-4FE9-89E3-C9252B71425C}"},
    {kDeviceLinkServerLibrary, "QVL-DE~1.DLL", "QVL Device Link Server", "{B37252D6-D1B8-4DE6-9899-BB43D3C46842}",
     "{D91DE75E-8E74-40EA-B166-10F7629143F3}", "QVL Device Link 1.0 Type Library", "SharedComponents_DeviceLinkServer",
     "{61194532-C314-4F42-BDA7-A40271762BF6}"},
}};

const std::array<ComClass, 9> kClasses = {{
    {0, "{934EED7C-4202-499D-B84B-3585FE32B103}", "QVL Catalog Server", "QVL.CatalogServer", false},
    {0, "{AC6797AC-07D9-439C-B722-3841F73F2DCC}", "QVL Media Query", "QVL.MediaQuery", false},
    {0, "{B8695431-56BE-45CE-90F7-F4D581790130}", "QVL Thumbnail Provider", "QVL.ThumbnailProvider", false},
    {0, "{B8866AD4-826B-4921-85B6-95426D9336F5}", "QVL Playlist Store", "QVL.PlaylistStore", false},
    {1, "{B6083919-0E49-42EE-899B-783AA6F886F9}", "QVL Player Control", "QVL.PlayerCtl", true},
    {1, "{BEAFC718-6EF8-4B76-9D22-C8439CBD4F99}", "QVL Player Property Page", "QVL.PlayerPropPage", false},
    {2, "{9D7D72AC-3FC5-4485-A958-9F671D1808BB}", "QVL Device Link", "QVL.DeviceLink", false},
    {2, "{046B8C26-F439-4F43-AB5F-78D5560C0B73}", "QVL Device Enumerator", "QVL.DeviceEnumerator", false},
    {2, "{690CAEF8-E46D-438D-8AF1-CC3329536197}", "QVL Transfer Queue", "QVL.TransferQueue", false},
}};

const std::array<ComInterface, 15> kInterfaces = {{
    {0, "{43101651-5C54-4131-9CCC-A98A7488FA4D}", "ICatalogServer", kOleAutomation},
    {0, "{0AF16797-4618-44B4-9CD3-482AC1042058}", "IMediaQuery", kOleAutomation},
    {0, "{490A48AF-C33A-471B-8D9F-325F905B057B}", "IMediaItem", kOleAutomation},
    {0, "{1356BEBA-FD5F-4371-A29E-A9AB2ED3F125}", "IMediaItemList", kOleAutomation},
    {0, "{D89EDBD5-3EB9-461B-891B-90745524AB5F}", "IThumbnailProvider", kOleAutomation},
    {0, "{FF070EEB-6539-4C56-9BB5-6944A06B4C6B}", "IPlaylistStore", kOleAutomation},
    {1, "{5F8EFC95-80C4-4CF4-B94A-6CCF0DD114E4}", "IPlayerCtl", kOleAutomation},
    {1, "{C5C02D0A-ED44-42CD-98B6-99C7F39EE113}", "_IPlayerCtlEvents", kDispatch},
    {1, "{F8349523-CAA9-43EE-BD65-FFCED5C6CDE7}", "IPlayerSettings", kOleAutomation},
    {1, "{67D70EC4-6301-466C-B803-DC1305A34AAF}", "IPlaylistCursor", kOleAutomation},
    {2, "{1205A339-7766-42F1-BA79-FD3586B68B8F}", "IDeviceLink", kOleAutomation},
    {2, "{F14D5AB7-F57E-469C-A0DE-5684A239FF0D}", "IDeviceEnumerator", kOleAutomation},
    {2, "{D525088C-3CA5-4A31-BE30-ED06989BFA4B}", "IDeviceInfo", kOleAutomation},
    {2, "{6B909246-2A27-45F2-BF38-57D4004BA798}", "ITransferQueue", kOleAutomation},
    {2, "{22B689EB-94C5-4587-9456-3E828F374EB3}", "ITransferJob", kOleAutomation},
}};

}  // namespace regscript
