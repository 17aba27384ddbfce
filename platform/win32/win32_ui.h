#pragma once
#include <windows.h>

#include <deque>
#include <map>

#include "platform/ui.h"
#include "platform/win32/win32_parts.h"

namespace zd {

// The tool's windows on Win32: one top-level "ZendrillWindow" at a time,
// gadgets as standard controls addressed by their control id.
class Win32Ui : public Ui {
public:
    explicit Win32Ui(HINSTANCE inst);
    ~Win32Ui() override;
    Win32Ui(const Win32Ui&) = delete;
    Win32Ui& operator=(const Win32Ui&) = delete;

    bool open_window(const std::string& title, int x, int y, int client_w, int client_h) override;
    void close_window() override;
    void window_position(int& x, int& y) override;
    Rgb sample_pixel(int x, int y) override;
    void add_gadget(const GadgetSpec& def) override;
    void set_text(int id, const std::string& text) override;
    std::string text(int id) override;
    void set_colours(int id, Rgb text, Rgb background) override;
    void set_enabled(int id, bool enabled) override;
    void set_visible(int id, bool visible) override;
    void set_checked(int id, bool checked) override;
    bool is_checked(int id) override;
    void add_item(int id, const std::string& text) override;
    void set_item_text(int id, int index, const std::string& text) override;
    void select_item(int id, int index) override;
    int selected_item(int id) override;
    void set_track_position(int id, int position) override;
    int track_position(int id) override;
    void set_date_display(int id, const std::string& pattern) override;
    PickedDate picked_date(int id) override;
    int line_height(int id) override;
    UiEvent wait_event() override;
    void drop_queued_events() override;
    void show_note(const std::string& text) override;
    bool ask_yes_no(const std::string& title, const std::string& text) override;
    std::optional<std::string> ask_text(const std::string& title, const std::string& prompt,
                                        const std::string& default_text) override;

private:
    struct Gadget {
        HWND hwnd = nullptr;
        GadgetKind kind = GadgetKind::Text;
        int group = -1;  // options: their group number
        bool coloured = false;
        COLORREF text = 0, background = 0;
    };
    // Programmatic changes must not come back as user events.
    struct Quiet {
        explicit Quiet(Win32Ui& ui) : ui_(ui) { ++ui_.quiet_; }
        ~Quiet() { --ui_.quiet_; }
        Quiet(const Quiet&) = delete;
        Quiet& operator=(const Quiet&) = delete;
        Win32Ui& ui_;
    };

    static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    bool handle_command(WPARAM wp, LPARAM lp);
    void record(const UiEvent& event);
    void record_gadget(int id);
    const Gadget* gadget_of(HWND child) const;
    Gadget* find(int id);
    HWND item(int id);
    HBRUSH brush(COLORREF colour);

    HINSTANCE inst_;
    HWND wnd_ = nullptr;
    win32::GadgetFont font_;
    std::map<int, Gadget> gadgets_;
    std::deque<UiEvent> events_;
    std::map<COLORREF, HBRUSH> brushes_;
    int quiet_ = 0;
    bool dropping_ = false;
    int groups_ = 0;
    bool last_was_option_ = false;
};

}  // namespace zd
