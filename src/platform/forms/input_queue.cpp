#include "platform/forms/input_queue.h"

#include <algorithm>

namespace forms {

bool HasForm(const Application& app, const Form* form) {
    const auto& forms = app.Forms();
    return std::find(forms.begin(), forms.end(), form) != forms.end();
}

void InputQueue::Deliver(Application& app) {
    while (!input_.empty() && !app.Ended()) {
        const Input next = input_.front();
        input_.pop_front();
        if (!HasForm(app, next.form)) continue;
        if (next.close) {
            app.CloseForm(*next.form);
            continue;
        }
        app.ClickAt(*next.form, (next.x + 0.5) * TwipsPerPixel, (next.y + 0.5) * TwipsPerPixel);
    }
}

}  // namespace forms
