#pragma once
// What the wizard's buttons show on a page, as the controller's and the windows' tests expect.
namespace ostrel::test {

struct Buttons {
    int page;
    bool esc;   // shown
    bool back;  // shown
    const char* next;
    bool nextEnabled;
};

}  // namespace ostrel::test
