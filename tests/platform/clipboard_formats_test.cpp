// The clipboard-format exports. The field checks in detail are in
// portable/format_rules_test.cpp; here each pair shows the export applies them.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "VantrelSh.h"
#include "support/child_process.h"

namespace {

struct FormatPair {
    const char* exportName;
    const wchar_t* registeredName;  // null for the built-in text format
    UINT(WINAPI* get)(FORMATETC*);
    HRESULT(WINAPI* is)(const FORMATETC*);
};

const FormatPair kPairs[] = {
    {"VtlsGetItemIDFormat", VTLS_CFSTR_ITEMID, VtlsGetItemIDFormat, VtlsIsItemIDFormat},
    {"VtlsGetItemIDListFormat", VTLS_CFSTR_ITEMIDARRAY, VtlsGetItemIDListFormat, VtlsIsItemIDListFormat},
    {"VtlsGetDataSourceFormat", VTLS_CFSTR_DATASOURCE, VtlsGetDataSourceFormat, VtlsIsDataSourceFormat},
    {"VtlsGetDataSourceListFormat", VTLS_CFSTR_DATASOURCEARRAY, VtlsGetDataSourceListFormat, VtlsIsDataSourceListFormat},
    {"VtlsGetServerFormat", VTLS_CFSTR_SERVER, VtlsGetServerFormat, VtlsIsServerFormat},
    {"VtlsGetTextFormat", nullptr, VtlsGetTextFormat, VtlsIsTextFormat},
};

TEST(ClipboardFormats, EachGetGivesItsRegisteredFormatForGlobalMemoryAndOnlyItsIsAcceptsIt) {
    std::set<UINT> ids;
    for (const FormatPair& pair : kPairs) {
        FORMATETC format;
        std::memset(&format, 0xCD, sizeof(format));
        const UINT id = pair.get(&format);
        ids.insert(id);
        EXPECT_EQ(id, pair.get(nullptr));
        EXPECT_EQ(id, pair.registeredName != nullptr ? RegisterClipboardFormatW(pair.registeredName) : UINT{CF_TEXT});
        EXPECT_TRUE(format.cfFormat == id && format.ptd == nullptr && format.dwAspect == DVASPECT_CONTENT &&
                    format.lindex == -1 && format.tymed == TYMED_HGLOBAL)
            << pair.exportName;
        for (const FormatPair& checker : kPairs) {
            EXPECT_EQ(checker.is(&format), &pair == &checker ? S_OK : DV_E_FORMATETC) << pair.exportName;
        }
        // The other fields in order, and the target device ignored.
        DVTARGETDEVICE device{};
        const FORMATETC others[] = {{format.cfFormat, &device, DVASPECT_CONTENT, -1, TYMED_HGLOBAL | TYMED_ISTREAM},
                                    {format.cfFormat, nullptr, DVASPECT_THUMBNAIL, 0, TYMED_ISTREAM},
                                    {format.cfFormat, nullptr, DVASPECT_THUMBNAIL, 0, TYMED_HGLOBAL},
                                    {format.cfFormat, nullptr, DVASPECT_CONTENT, 0, TYMED_HGLOBAL}};
        const HRESULT answers[] = {S_OK, DV_E_TYMED, DV_E_DVASPECT, DV_E_LINDEX};
        for (std::size_t i = 0; i < std::size(others); ++i) {
            EXPECT_EQ(pair.is(&others[i]), answers[i]) << i;
        }
        EXPECT_EQ(pair.is(nullptr), E_INVALIDARG);
    }
    EXPECT_EQ(ids.size(), std::size(kPairs));
    const FORMATETC unicode{CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(VtlsIsTextFormat(&unicode), DV_E_FORMATETC);
}

TEST(ClipboardFormats, IdsAgreeAcrossProcesses) {
    const auto child = vtls::test::RunChild(L"vtls_probe.exe", L"clipboard-ids");
    ASSERT_TRUE(child && child->exitCode == 0) << (child ? child->output : "no child");
    const auto report = vtls::test::ParseReport(child->output);
    for (const FormatPair& pair : kPairs) {
        ASSERT_EQ(report.count(pair.exportName), 1u) << child->output;
        EXPECT_EQ(std::stoul(report.at(pair.exportName)), pair.get(nullptr)) << pair.exportName;
    }
    // The stream format is registered by loading the library, though no export hands it out.
    EXPECT_EQ(report.at("stream-format-after"), "1");
}

}  // namespace
