#pragma once
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace zd::test {

// A Ui that records windows and gadgets and plays scripted user actions.
class FakeUi : public Ui {
public:
    struct Gadget {
        GadgetSpec def;
        std::string text;
        std::vector<std::string> texts;  // every text set, in order (the caption first)
        Rgb fg, bg;
        bool coloured = false;
        bool enabled = true, visible = true, checked = false;
        std::vector<std::string> items;
        int selected = -1;
        int track = 0;
        std::string date_display;
        PickedDate date;
        int group = -1;  // option group number
    };
    struct Window {
        std::string title;
        int x = 0, y = 0, w = 0, h = 0;
        bool open = true;
        std::vector<int> order;  // gadget ids in creation order
        std::map<int, Gadget> gadgets;
    };

    // --- Ui ---
    bool open_window(const std::string& title, int x, int y, int cw, int ch) override;
    void close_window() override;
    void window_position(int& x, int& y) override;
    Rgb sample_pixel(int, int) override { return background; }
    void add_gadget(const GadgetSpec& def) override;
    void set_text(int id, const std::string& text) override;
    std::string text(int id) override { return g(id).text; }
    void set_colours(int id, Rgb text, Rgb bg) override;
    void set_enabled(int id, bool e) override { g(id).enabled = e; }
    void set_visible(int id, bool v) override { g(id).visible = v; }
    void set_checked(int id, bool c) override;
    bool is_checked(int id) override { return g(id).checked; }
    void add_item(int id, const std::string& t) override { g(id).items.push_back(t); }
    void set_item_text(int id, int index, const std::string& t) override;
    void select_item(int id, int index) override;
    int selected_item(int id) override { return g(id).selected; }
    void set_track_position(int id, int p) override { g(id).track = p; }
    int track_position(int id) override { return g(id).track; }
    void set_date_display(int id, const std::string& p) override { g(id).date_display = p; }
    PickedDate picked_date(int id) override { return g(id).date; }
    int line_height(int) override { return line_height_px; }
    UiEvent wait_event() override;
    void drop_queued_events() override;
    void show_note(const std::string& t) override;
    bool ask_yes_no(const std::string& title, const std::string& text) override;
    std::optional<std::string> ask_text(const std::string& title, const std::string& prompt,
                                        const std::string& def) override;

    // --- scripting: each action takes effect when the program fetches its event ---
    void click(int id);                      // button, check box (toggles), option (checks)
    void choose_item(int id, int index);     // drop-down list
    void move_track(int id, int position);   // track bar
    void pick_date(int id, int year, int month, int day);
    void press_mouse(int client_y);
    void request_close();
    // Runs `fn` when the program next waits for an event (after the queue ran dry).
    void then(std::function<void()> fn) { hooks_.push_back(std::move(fn)); }

    // --- inspection ---
    Window& window() { return windows.back(); }
    Gadget& g(int id);
    bool has(int id) { return !windows.empty() && window().gadgets.count(id) > 0; }

    std::vector<Window> windows;
    Rgb background{236, 233, 216};
    int line_height_px = 13;
    std::vector<std::string> notes;
    std::vector<std::string> questions;                 // "title|text"
    std::deque<bool> yes_no_answers;                    // default: No
    std::vector<std::string> text_prompts;              // "title|prompt|default"
    std::deque<std::optional<std::string>> text_answers;  // default: cancelled
    int dropped_events = 0;
    int waits_when_dry = 0;  // waits with nothing scripted: answered with a close request

private:
    struct Pending {
        UiEvent event;
        std::function<void()> apply;
    };
    std::deque<Pending> queue_;
    std::deque<std::function<void()>> hooks_;
    int next_group_ = 0;
    bool last_was_option_ = false;
};

}  // namespace zd::test
