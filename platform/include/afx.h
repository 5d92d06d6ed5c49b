// The non-window core of the class framework, for platforms without it: CString,
// CObject with its runtime-class record and dynamic creation, CCmdTarget with message
// maps. Standard library only. Names and behaviour follow the Windows framework, so the
// program's code compiles unchanged against either.
#pragma once

#ifdef _WIN32
#error "Use the framework's own headers on Windows."
#endif

#include <windows.h>

#include <cstdarg>
#include <string>

#ifndef ASSERT
#include <cassert>
#define ASSERT(f) assert(f)
#endif
#ifndef PASCAL
#define PASCAL
#endif
#ifndef AFX_MSG_CALL
#define AFX_MSG_CALL
#endif
#ifndef afx_msg
#define afx_msg
#endif

// ---------------------------------------------------------------------------------------
// CString: a narrow (multibyte, here UTF-8) string with value semantics.

class CString {
public:
    CString() = default;
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString(LPCTSTR text);  // NOLINT: implicit, as in the framework; null gives ""
    CString(LPCTSTR text, int length);
    CString(TCHAR ch, int repeat = 1);
    explicit CString(const std::string& text) : text_(text) {}

    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(LPCTSTR text);
    CString& operator=(TCHAR ch);

    int GetLength() const { return static_cast<int>(text_.size()); }
    BOOL IsEmpty() const { return text_.empty(); }
    void Empty() { text_.clear(); }
    TCHAR GetAt(int index) const;
    TCHAR operator[](int index) const { return GetAt(index); }
    void SetAt(int index, TCHAR ch);
    operator LPCTSTR() const { return text_.c_str(); }  // NOLINT: implicit, as in the framework
    LPCTSTR GetString() const { return text_.c_str(); }
    const std::string& str() const { return text_; }

    CString& operator+=(const CString& other);
    CString& operator+=(LPCTSTR text);
    CString& operator+=(TCHAR ch);
    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, LPCTSTR b);
    friend CString operator+(LPCTSTR a, const CString& b);
    friend CString operator+(const CString& a, TCHAR b);
    friend CString operator+(TCHAR a, const CString& b);

    // Byte-wise comparison (as _mbscmp) and case-insensitive comparison (as _mbsicmp).
    int Compare(LPCTSTR other) const;
    int CompareNoCase(LPCTSTR other) const;

    int Find(TCHAR ch, int start = 0) const;
    int Find(LPCTSTR sub, int start = 0) const;
    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;
    CString& Trim();

    // printf-style formatting; replaces the contents.
    void Format(LPCTSTR format, ...);
    void FormatV(LPCTSTR format, va_list args);
    // Loads string `id` from the program's string table. FALSE (and empty) when absent.
    BOOL LoadString(UINT id);

    // Direct access to a buffer of at least `minLength` characters plus a NUL.
    LPTSTR GetBuffer(int minLength = 0);
    LPTSTR GetBufferSetLength(int length);
    // Ends direct access: the string ends at `newLength`, or at the first NUL when -1.
    void ReleaseBuffer(int newLength = -1);

private:
    std::string text_;
};

bool operator==(const CString& a, const CString& b);
bool operator==(const CString& a, LPCTSTR b);
bool operator==(LPCTSTR a, const CString& b);
bool operator!=(const CString& a, const CString& b);
bool operator!=(const CString& a, LPCTSTR b);
bool operator!=(LPCTSTR a, const CString& b);
bool operator<(const CString& a, const CString& b);

// Where CString::LoadString finds its texts. The resource module installs a lookup at
// start-up; it returns the string's text, or null when the table has no such ID.
using AfxStringLookup = LPCTSTR (*)(UINT id);
void AfxSetStringLookup(AfxStringLookup lookup);
LPCTSTR AfxFindStringResource(UINT id);

// ---------------------------------------------------------------------------------------
// Runtime-class records and dynamic creation.

class CObject;

struct CRuntimeClass {
    LPCSTR m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;  // 0xFFFF for classes that are created dynamically but not serialised
    CObject*(PASCAL* m_pfnCreateObject)();
    const CRuntimeClass* m_pBaseClass;

    // A new instance, or null for a class that cannot be created dynamically.
    CObject* CreateObject() const;
    BOOL IsDerivedFrom(const CRuntimeClass* base) const;
};

#define RUNTIME_CLASS(class_name) (const_cast<CRuntimeClass*>(&class_name::class##class_name))

#define DECLARE_DYNAMIC(class_name)               \
public:                                           \
    static const CRuntimeClass class##class_name; \
    CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name) \
    DECLARE_DYNAMIC(class_name)       \
    static CObject* PASCAL CreateObject();

#define IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, pfnNew)                     \
    const CRuntimeClass class_name::class##class_name = {                                        \
        #class_name, sizeof(class class_name), wSchema, pfnNew, RUNTIME_CLASS(base_class_name)}; \
    CRuntimeClass* class_name::GetRuntimeClass() const {                                         \
        return RUNTIME_CLASS(class_name);                                                        \
    }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name) \
    CObject* PASCAL class_name::CreateObject() {         \
        return new class_name;                           \
    }                                                    \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, class_name::CreateObject)

class CObject {
public:
    static const CRuntimeClass classCObject;
    virtual CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() = default;
    BOOL IsKindOf(const CRuntimeClass* runtimeClass) const;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

// ---------------------------------------------------------------------------------------
// Message maps: per class, a table of (message, notification code, control ID, handler)
// that chains to the base class's table.

class CCmdTarget;
typedef void (AFX_MSG_CALL CCmdTarget::*AFX_PMSG)();

// How a handler is called; the window layer adds the window messages' signatures.
enum AfxSig : UINT_PTR {
    AfxSig_end = 0,
    AfxSigCmd_v,  // void (): commands and button clicks
    AfxSig_vwl,   // void (UINT, LPARAM): WM_SYSCOMMAND
    AfxSig_vv,    // void (): WM_PAINT
    AfxSig_hv,    // HCURSOR (): WM_QUERYDRAGICON
};

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // window message
    UINT nCode;     // notification code, for WM_COMMAND
    UINT nID;       // control or command ID, for WM_COMMAND
    UINT nLastID;   // end of an ID range, for WM_COMMAND
    UINT_PTR nSig;  // an AfxSig
    AFX_PMSG pfn;   // the handler, cast to a common type; nSig tells its real type
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define WM_COMMAND 0x0111
#define CN_COMMAND 0
#define BN_CLICKED 0

#define DECLARE_MESSAGE_MAP()                            \
protected:                                               \
    static const AFX_MSGMAP* PASCAL GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)               \
    const AFX_MSGMAP* theClass::GetMessageMap() const {      \
        return GetThisMessageMap();                          \
    }                                                        \
    const AFX_MSGMAP* PASCAL theClass::GetThisMessageMap() { \
        typedef theClass ThisClass;                          \
        typedef baseClass TheBaseClass;                      \
        [[maybe_unused]] ThisClass* unusedThis = nullptr;    \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                         \
    { 0, 0, 0, 0, AfxSig_end, (AFX_PMSG) nullptr }                                                \
    }                                                                                             \
    ;                                                                                             \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
    return &messageMap;                                                                           \
    }

#define ON_COMMAND(id, memberFxn) \
    {WM_COMMAND, CN_COMMAND, (WORD)id, (WORD)id, AfxSigCmd_v, static_cast<AFX_PMSG>(memberFxn)},

class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)

public:
    CCmdTarget() = default;

    // Routes a command or control notification through the message map: calls the
    // handler of (nCode, nID) and returns TRUE, or FALSE when no entry matches.
    virtual BOOL OnCmdMsg(UINT nID, int nCode);

    // The first entry of this object's map, or of a base's, for (message, code, id).
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message, UINT code, UINT id) const;

protected:
    static const AFX_MSGMAP* PASCAL GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};
