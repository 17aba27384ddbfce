#pragma once
#include <optional>
#include <string>
#include <utility>

namespace zd {

struct Rgb {
    int r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

enum class GadgetKind {
    Text,        // static label, no prefix processing, "\r" breaks the line
    Button,      // push button
    CheckBox,    // auto check box
    Option,      // auto option button; consecutive options form one group
    Frame,       // group frame
    DropDown,    // selection-only drop-down list; h is the height with the list open
    DatePicker,  // date-time picker
    TrackBar,    // horizontal track bar, a tick at every value
};

struct GadgetSpec {
    int id = 0;
    GadgetKind kind = GadgetKind::Text;
    int x = 0, y = 0, w = 0, h = 0;
    std::string caption;
    int range_min = 0, range_max = 0;  // track bars only
};

inline GadgetSpec gadget_spec(int id, GadgetKind kind, int x, int y, int w, int h,
                              std::string caption, int range_max = 0) {
    return GadgetSpec{id, kind, x, y, w, h, std::move(caption), 0, range_max};
}

enum class EventKind {
    Gadget,          // a gadget was used: button pressed, box toggled, option chosen,
                     // list selection changed, track bar moved, date picked
    LeftButtonDown,  // left mouse button pressed in the client area (also over labels and frames)
    CloseRequest,    // the close box
};

struct UiEvent {
    EventKind kind = EventKind::Gadget;
    int id = 0;         // gadget id for Gadget events
    int client_y = -1;  // LeftButtonDown: cursor y in client coordinates read at that moment,
                        // -1 when the cursor is outside the client area
};

struct PickedDate {
    int year = 2000, month = 1, day = 1;
};

// The tool's one window at a time and its gadgets, addressed by id.
class Ui {
public:
    virtual ~Ui() = default;

    // Opens a top-level window (caption, close box, no min/max box, not
    // resizable) with the given client size and its outer top-left corner
    // at (x, y). False when it could not be created.
    virtual bool open_window(const std::string& title, int x, int y, int client_w, int client_h) = 0;
    virtual void close_window() = 0;
    // Outer top-left corner of the open window.
    virtual void window_position(int& x, int& y) = 0;
    // Colour of a client-area pixel of the open window.
    virtual Rgb sample_pixel(int x, int y) = 0;

    // Gadgets are created in call order with the gadget font.
    virtual void add_gadget(const GadgetSpec& def) = 0;
    virtual void set_text(int id, const std::string& text) = 0;
    virtual std::string text(int id) = 0;
    // Text (caption) colour on the given background colour.
    virtual void set_colours(int id, Rgb text, Rgb background) = 0;
    virtual void set_enabled(int id, bool enabled) = 0;
    virtual void set_visible(int id, bool visible) = 0;
    // Check boxes and options; checking an option clears the other options of its group.
    virtual void set_checked(int id, bool checked) = 0;
    virtual bool is_checked(int id) = 0;
    virtual void add_item(int id, const std::string& text) = 0;  // drop-down lists
    virtual void set_item_text(int id, int index, const std::string& text) = 0;
    virtual void select_item(int id, int index) = 0;  // -1: no selection
    virtual int selected_item(int id) = 0;            // -1: none
    virtual void set_track_position(int id, int position) = 0;
    virtual int track_position(int id) = 0;
    // Shows `pattern` literally as the picker's whole display format.
    virtual void set_date_display(int id, const std::string& pattern) = 0;
    virtual PickedDate picked_date(int id) = 0;
    // Height in pixels of one text line of the gadget's font.
    virtual int line_height(int id) = 0;

    // Blocks until the next event of the open window.
    virtual UiEvent wait_event() = 0;
    // Fetches and drops every event that has queued up, without waiting.
    virtual void drop_queued_events() = 0;

    // Modal boxes; they disable the tool's other windows while open.
    virtual void show_note(const std::string& text) = 0;  // title "Hinweis:", OK
    virtual bool ask_yes_no(const std::string& title, const std::string& text) = 0;
    // The accepted text (Enter or "Ok", at most 9999 characters), or nullopt
    // when cancelled (Escape or the close box).
    virtual std::optional<std::string> ask_text(const std::string& title, const std::string& prompt,
                                                 const std::string& default_text) = 0;
};

}  // namespace zd
