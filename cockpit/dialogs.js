// The page's modal dialogs and message boxes, with the program's button texts.
import { element } from "./form.js";
import { IDD, IDS, dialog, string, withoutMnemonic } from "./texts.js";

// A modal dialog in the page: its title, its body, OK and (optionally) Cancel. `validate`
// may keep it open with a message, as the add dialog does. Resolves true for OK.
export function modal({ title, body, okText, cancelText, initialFocus, validate, alert = false }) {
    return new Promise(resolve => {
        const titleId = `modal-title-${Math.random().toString(36).slice(2)}`;
        const ok = element("button", { type: "submit", class: "primary", text: okText });
        const buttons = element("div", { class: "button-row" }, ok);
        let cancel = null;
        if (cancelText) {
            cancel = element("button", { type: "button", text: cancelText });
            buttons.append(cancel);
        }
        const form = element("form", { method: "dialog", novalidate: true },
                             element("h2", { id: titleId, text: title }), body, buttons);
        const box = element("dialog", { "aria-labelledby": titleId, role: alert ? "alertdialog" : false },
                            form);
        if (alert) box.setAttribute("aria-describedby", body.id);
        document.getElementById("page").append(box);
        let answer = false;
        form.addEventListener("submit", async event => {
            event.preventDefault();
            const refusal = validate ? validate() : null;
            if (refusal) {
                const [messageId, field] = refusal;
                await messageBox(string(messageId));
                field.focus();
                return;
            }
            answer = true;
            box.close();
        });
        if (cancel) cancel.addEventListener("click", () => box.close());
        box.addEventListener("close", () => { box.remove(); resolve(answer) });
        box.showModal();
        (initialFocus || ok).focus();
    });
}

// A message box: the text with OK, or OK and Cancel for a question.
export function messageBox(text, { cancel = false, detail = "" } = {}) {
    const body = element("div", { id: `message-${Math.random().toString(36).slice(2)}`, class: "message" });
    for (const line of text.split("\n")) body.append(element("p", { text: line.replace(/\t/g, " ") }));
    if (detail) body.append(element("p", { class: "detail", text: detail }));
    return modal({
        title: withoutMnemonic(dialog(IDD.setting).caption), body, alert: true,
        okText: string(IDS.ok), cancelText: cancel ? string(IDS.cancel) : null,
    });
}
