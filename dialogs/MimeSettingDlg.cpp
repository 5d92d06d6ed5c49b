#include "MimeSettingDlg.h"

#include <algorithm>
#include <string_view>

#include "MimeAddDlg.h"
#include "MimeChangeDlg.h"
#include "StoreReason.h"
#include "utf8.h"

namespace {

// Stored names and types are bytes; the screen shows Unicode. Bytes that are not UTF-8 and
// control characters (an embedded NUL would cut the text short) are shown as \xNN, so the
// user can still tell such a mapping from others instead of seeing replacement characters.
bool IsShownAsStored(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char ch) {
        return static_cast<unsigned char>(ch) >= 0x20 && static_cast<unsigned char>(ch) < 0x7F;
    });
}

CString ShownText(std::string_view stored) {
    std::string_view rest = stored;
    if (IsShownAsStored(rest)) return CString(rest.data(), static_cast<int>(rest.size()));
    std::string shown;
    while (!rest.empty()) {
        const auto lead = static_cast<unsigned char>(rest[0]);
        const size_t length = marrowick::platform::DecodeUtf8(rest);
        if (length == 0 || lead < 0x20 || lead == 0x7F) {
            static const char kHex[] = "0123456789abcdef";
            shown += {'\\', 'x', kHex[lead >> 4], kHex[lead & 0xF]};
            rest.remove_prefix(1);
        } else {
            shown.append(rest.substr(0, length));
            rest.remove_prefix(length);
        }
    }
    return CString(shown);
}

// The same for filling the list from text followed by a NUL: in the common case the stored
// text itself, not a copy.
LPCTSTR ShownTextFor(std::string_view stored, CString& escaped) {
    if (IsShownAsStored(stored)) return stored.data();
    escaped = ShownText(stored);
    return escaped;
}

}  // namespace

CMimeSettingDlg::CMimeSettingDlg(CWnd* pParent) : CDialog(CMimeSettingDlg::IDD, pParent) {}

void CMimeSettingDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_MIME_LIST, m_listMime);
}

BEGIN_MESSAGE_MAP(CMimeSettingDlg, CDialog)
ON_BN_CLICKED(IDC_MIME_ADD, &CMimeSettingDlg::OnAddMime)
ON_BN_CLICKED(IDC_MIME_DELETE, &CMimeSettingDlg::OnDeleteMime)
ON_BN_CLICKED(IDC_MIME_CHANGE, &CMimeSettingDlg::OnChangeMime)
END_MESSAGE_MAP()

BOOL CMimeSettingDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    RECT rect;
    m_listMime.GetClientRect(&rect);
    const int width = rect.right - rect.left;
    CString heading;
    heading.LoadString(IDS_EXTENSIONS);
    m_listMime.InsertColumn(0, heading, LVCFMT_LEFT, width / 4);
    heading.LoadString(IDS_MIMETYPE);
    // As wide as the whole list, so long types scroll instead of being cut off.
    m_listMime.InsertColumn(1, heading, LVCFMT_LEFT, width);

    RefreshList();
    return TRUE;
}

void CMimeSettingDlg::RefreshList() {
    // The rows are built aside and shown in one step, so that the refill costs the same
    // for every row however long the map is.
    m_listMime.SetRedraw(FALSE);
    m_listMime.DeleteAllItems();
    m_settings.GetMimeMap(m_mimeMap);

    const int count = static_cast<int>(m_mimeMap.GetSize());
    CString escaped;
    for (int i = 0; i < count; ++i) {
        m_listMime.InsertItem(i, ShownTextFor(m_mimeMap.Extension(i), escaped));
        m_listMime.SetItemText(i, 1, ShownTextFor(m_mimeMap.MimeType(i), escaped));
    }
    m_listMime.SetRedraw(TRUE);
}

BOOL CMimeSettingDlg::IsExtensionListed(const CString& extension) const {
    return m_mimeMap.HasExtension(extension);
}

BOOL CMimeSettingDlg::GetSelectedEntry(MimeEntry& entry) {
    // Row i shows row i of the table until the next reload.
    const int selected = m_listMime.GetSelectionMark();
    if (selected < 0 || selected >= m_mimeMap.GetSize()) {
        AfxMessageBox(IDS_NO_SELECTION, MB_OK);
        return FALSE;
    }
    entry = m_mimeMap.GetEntry(selected);
    return TRUE;
}

void CMimeSettingDlg::OnAddMime() {
    CMimeAddDlg dlg;
    if (dlg.DoModal() != IDOK) {
        return;
    }
    // The list may be out of date: other copies of the program and the viewer's tools
    // write the map too. The duplicate rule is tested again at the moment of writing.
    if (IsExtensionListed(dlg.m_strExtension)) {
        AfxMessageBox(IDS_DUPLICATE_EXTENSION, MB_OK);
        RefreshList();
        return;
    }
    Report(m_settings.AddMimeMapping(dlg.m_strExtension, dlg.m_strMimeType));
    RefreshList();
}

void CMimeSettingDlg::OnChangeMime() {
    MimeEntry entry;
    if (!GetSelectedEntry(entry)) {
        return;
    }
    CMimeChangeDlg dlg;
    const CString shownType = ShownText(entry.strMimeType.str());
    dlg.m_strExtension = ShownText(entry.strExtension.str());
    dlg.m_strMimeType = shownType;
    if (dlg.DoModal() != IDOK) {
        return;
    }
    // A type left as shown keeps its stored bytes, which the field may show escaped.
    const CString mimeType = dlg.m_strMimeType == shownType ? entry.strMimeType : dlg.m_strMimeType;
    // Refused (119) when another writer deleted the mapping meanwhile: never brought back.
    Report(m_settings.ChangeMimeMapping(entry.strExtension, mimeType));
    RefreshList();
}

void CMimeSettingDlg::OnDeleteMime() {
    MimeEntry entry;
    if (!GetSelectedEntry(entry)) {
        return;
    }
    CString extensionLabel;
    extensionLabel.LoadString(IDS_EXTENSIONS);
    CString mimeTypeLabel;
    mimeTypeLabel.LoadString(IDS_MIMETYPE);
    CString question;
    question.LoadString(IDS_CONFIRM_DELETE);
    const CString message = extensionLabel + "\t" + ShownText(entry.strExtension.str()) + "\n" +
                            mimeTypeLabel + "\t" + ShownText(entry.strMimeType.str()) + "\n" +
                            question;
    if (AfxMessageBox(message, MB_OKCANCEL) != IDOK) {
        return;
    }
    Report(m_settings.DeleteMimeMapping(entry.strExtension));
    RefreshList();
}

void CMimeSettingDlg::Report(const ChangeOutcome& outcome) {
    if (!outcome.Applied()) AfxMessageBox(ChangeRefusalText(outcome).c_str(), MB_OK);
}
