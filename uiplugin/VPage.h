// The base classes of the plug-in's property pages: VObject, the part the controller knows, and VPage,
// which adds the page's window and the operations its numeric fields share.
#pragma once
#include <windows.h>

#include <cstdint>

#include "LiveObject.h"
#include "VWindow.h"

class QVSheet;
struct SheetContext;

class VObject {
public:
    VObject() = default;
    virtual ~VObject() = default;
    VObject(const VObject&) = delete;
    VObject& operator=(const VObject&) = delete;

    // Commits the page's pending changes; non-zero when it committed.
    virtual int Apply() { return 0; }
    virtual int GetTemplateId() = 0;

    // The sheet the page belongs to; the dialog procedure reaches it through the dialog's DWLP_USER.
    void SetOwner(QVSheet* owner) { m_pOwner = owner; }
    QVSheet* GetOwner() const { return m_pOwner; }
    void SetContext(SheetContext* context) { m_pContext = context; }
    SheetContext* GetContext() const { return m_pContext; }
    BOOL IsInitialized() const { return m_initialized != 0; }

protected:
    SheetContext* m_pContext = nullptr;
    int32_t m_initialized = 0;  // set once the page has filled its controls
    QVSheet* m_pOwner = nullptr;
};

class VPage : public VObject, public VWindow, public LiveObject<VPage> {
public:
    // Fills the page's controls when its dialog gets WM_INITDIALOG.
    virtual LRESULT InitPage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) = 0;

    // The dialog the page was given, whether or not it could take it over; its owner unhooks it there.
    HWND m_hDialog = nullptr;

    // The edit's text (its first 259 characters) as a number; 0 when it is not one.
    static float ReadEditFloat(const VEdit& edit);
    // The edit's number brought into its up-down's range (positions of 1/scale each): beyond an end it
    // is that end. What a page stores or sends from an edit that has not been put in step yet.
    static float ReadEditInRange(const VEdit& edit, HWND upDown, float scale);
    // Keeps an edit that shows millimetres and its up-down, which counts 1/scale millimetres, in step:
    // when they differ the up-down goes to the edit's value plus delta and the edit shows where the
    // up-down ended; otherwise the edit shows where the up-down's own step of delta will end, which at
    // an end of its range is where it is. 1 when the up-down was moved.
    static int SyncSpinFloat(const VEdit& edit, HWND upDown, float scale, int delta);
    // The same for whole numbers.
    static int SyncSpinInt(const VEdit& edit, HWND upDown, int delta);

    // One printer command as the whole data of a RAW job "WriteCmd" on the sheet's printer handle; TRUE
    // only when every spooler step succeeded and the device took every byte.
    BOOL SendRawCommand(const BYTE* bytes, DWORD length);
};
