// The main dialog's form, laid out from its template: group boxes become field sets with
// their legends, each static text labels the control after it, radio buttons keep their
// groups, and each count's edit takes its rule's range.
import {
    IDC, IDD, IDS, controlText, dialog, formatString, labelOf, programData, settingRule, string,
    withoutMnemonic,
} from "./texts.js";

const WS_GROUP = 0x00020000;

function element(tag, attributes = {}, ...children) {
    const node = document.createElement(tag);
    for (const [name, value] of Object.entries(attributes)) {
        if (value === false || value === undefined || value === null) continue;
        if (name === "text") node.textContent = value;
        else node.setAttribute(name, value === true ? "" : value);
    }
    node.append(...children);
    return node;
}
export { element };

// A control belongs to the group box its top edge lies in: a drop-down list's rectangle
// includes its list, which reaches below the box.
function inside(outer, inner) {
    const [ox, oy, ow, oh] = outer.rect;
    const [x, y, w] = inner.rect;
    return x >= ox && y >= oy && x + w <= ox + ow && y < oy + oh;
}

// Which radio buttons stand for which choice of a setting, in the choices' order.
const RADIO_SETTINGS = [
    { name: "TopDay", radios: [IDC.radioSunday, IDC.radioMonday] },
    { name: "SortDir", radios: [IDC.radioAscending, IDC.radioDescending] },
];

export class SettingsForm {
    constructor() {
        this.base = null;          // the values as last read, by value name
        this.existingKeys = new Set();
        this.inputs = new Map();   // control id -> element
        this.counts = programData().settings.filter(r => r.editId);
        this.node = this.build();
    }

    build() {
        const template = dialog(IDD.setting);
        const controls = template.controls;
        const groups = controls.filter(c => c.class === "button" && (c.style & 0xF) === 7);
        // The smallest group box holding a control is its group.
        const parentOf = c => groups.filter(g => g !== c && inside(g, c))
            .sort((a, b) => a.rect[2] * a.rect[3] - b.rect[2] * b.rect[3])[0] || null;
        const fieldsets = new Map();
        const root = element("div", { class: "settings-groups" });
        const buttons = element("div", { class: "button-row" });
        const containerOf = c => { const p = parentOf(c); return p ? fieldsets.get(p) : root };
        let radioGroup = 0;
        for (let i = 0; i < controls.length; ++i) {
            const c = controls[i];
            if (groups.includes(c)) {
                const set = element("fieldset", { class: "group" },
                                    element("legend", { text: withoutMnemonic(c.text) }));
                fieldsets.set(c, set);
                containerOf(c).append(set);
            } else if (c.class === "button" && (c.style & 0xF) === 9) {
                if (c.style & WS_GROUP) ++radioGroup;
                const id = `control-${c.id}`;
                const input = element("input", { type: "radio", id, name: `radio-group-${radioGroup}` });
                                this.inputs.set(c.id, input);
                containerOf(c).append(element("div", { class: "radio" }, input,
                                              element("label", { for: id, text: withoutMnemonic(c.text) })));
            } else if (c.class === "combobox") {
                const id = `control-${c.id}`;
                const select = element("select", { id });
                for (const choice of settingRule("SortKey").choices)
                    select.append(element("option", { value: choice.number, text: string(choice.labelId) }));
                                this.inputs.set(c.id, select);
                containerOf(c).append(element("div", { class: "field" },
                                              element("label", { for: id, text: labelOf(IDD.setting, c.id) }),
                                              select));
            } else if (c.class === "edit") {
                const rule = this.counts.find(r => r.editId === c.id);
                const id = `control-${c.id}`;
                const error = element("span", { id: `${id}-error`, class: "field-error", role: "alert" });
                const input = element("input", {
                    type: "number", id, min: rule.lower, max: rule.upper, step: 1,
                    inputmode: "numeric", "aria-describedby": error.id,
                });
                input.addEventListener("input", () => this.clearError(input));
                this.inputs.set(c.id, input);
                containerOf(c).append(element("div", { class: "field count" },
                                              element("label", { for: id, text: labelOf(IDD.setting, c.id) }),
                                              input, error));
            } else if (c.class === "button") {
                const button = element("button", { type: "button", id: `control-${c.id}`,
                                                   text: withoutMnemonic(c.text) });
                if (c.id === IDC.ok) button.classList.add("primary");
                this.inputs.set(c.id, button);
                buttons.append(button);
            }
        }
        // The dialog's push buttons sit at its edge; here they close the form.
        const order = [IDC.mimeSettings, IDC.restoreDefaults, IDC.ok, IDC.cancel];
        buttons.replaceChildren(...order.map(id => this.inputs.get(id)));
        this.inputs.get(IDC.restoreDefaults).addEventListener("click", () => this.restoreDefaults());
        return element("form", { class: "settings", novalidate: true, "aria-labelledby": "page-title" },
                       root, buttons);
    }

    button(id) {
        return this.inputs.get(id);
    }

    // Fills the form from `show --json`; fields the user changed since the last reading
    // keep what the user typed, the others take the new values.
    fill(settings) {
        const values = {};
        for (const [name, entry] of Object.entries(settings))
            values[name] = name === "SortKey" ? entry.index : entry.value;
        this.existingKeys = new Set(
            programData().settings.filter(r => settings[r.name] && !settings[r.name].default)
                .map(r => r.key.toLowerCase()));
        const previous = this.base;
        const edited = previous ? this.editedNames() : new Set();
        this.base = values;
        for (const rule of programData().settings) {
            if (!edited.has(rule.name)) this.show(rule.name, values[rule.name]);
        }
    }

    show(name, value) {
        const radios = RADIO_SETTINGS.find(r => r.name === name);
        if (radios) {
            const choices = settingRule(name).choices;
            radios.radios.forEach((id, i) => { this.inputs.get(id).checked = choices[i].number === value });
        } else if (name === "SortKey") {
            this.inputs.get(IDC.comboSortKey).value = String(value);
        } else {
            const input = this.inputs.get(settingRule(name).editId);
            input.value = String(value);
            this.clearError(input);
        }
    }

    // What the form holds: a number per setting, null for a radio group with none checked,
    // and the count edits' texts as typed.
    current() {
        const values = {};
        for (const { name, radios } of RADIO_SETTINGS) {
            const choices = settingRule(name).choices;
            const checked = radios.findIndex(id => this.inputs.get(id).checked);
            values[name] = checked < 0 ? null : choices[checked].number;
        }
        values.SortKey = Number(this.inputs.get(IDC.comboSortKey).value);
        for (const rule of this.counts) values[rule.name] = this.inputs.get(rule.editId).value;
        return values;
    }

    editedNames() {
        const current = this.current();
        return new Set(Object.keys(current).filter(name => {
            if (current[name] === null) return false;
            return String(current[name]).trim() !== String(this.base[name]);
        }));
    }

    // The dialog's check: each count a whole number within its range, else the
    // framework's message and the focus on that field. Returns the numbers, or null.
    validate() {
        const current = this.current();
        for (const rule of this.counts) {
            const input = this.inputs.get(rule.editId);
            const text = input.value.trim();
            const number = /^[+-]?\d+$/.test(text) ? Number(text) : NaN;
            let message = "";
            if (Number.isNaN(number)) message = string(IDS.parseInt);
            else if (number < rule.lower || number > rule.upper)
                message = formatString(IDS.parseIntRange, rule.lower, rule.upper);
            if (message) {
                this.showError(input, message);
                input.focus();
                return { values: null, message };
            }
            current[rule.name] = number;
        }
        return { values: current, message: "" };
    }

    showError(input, message) {
        input.setAttribute("aria-invalid", "true");
        document.getElementById(`${input.id}-error`).textContent = message;
    }

    clearError(input) {
        input.removeAttribute("aria-invalid");
        document.getElementById(`${input.id}-error`).textContent = "";
    }

    // The changes of the form's values that differ from what was read, each key that
    // existed expected to exist still, as the dialog's OK stores them.
    addChanges(changeSet, values) {
        const touchedKeys = new Set();
        for (const rule of programData().settings) {
            const value = values[rule.name];
            if (value === null || value === this.base[rule.name]) continue;
            if (rule.choices.length && rule.choices[0].stored !== undefined) {
                const choice = rule.choices.find(c => c.number === value) || rule.choices[0];
                changeSet.setString(rule.key, rule.name, choice.stored);
            } else {
                changeSet.setDword(rule.key, rule.name, value);
            }
            touchedKeys.add(rule.key);
        }
        for (const key of touchedKeys)
            if (this.existingKeys.has(key.toLowerCase())) changeSet.keyStays(key);
    }

    // How a value reads in the preview: the choice's label or word, else the number.
    describe(name, value) {
        if (value === null || value === undefined) return "—";
        const rule = programData().settings.find(r => r.name.toLowerCase() === name.toLowerCase());
        if (!rule) return String(value);
        if (rule.name === "SortKey") {
            const choice = rule.choices.find(c => c.stored === value);
            return choice ? string(choice.labelId) : String(value);
        }
        const radios = RADIO_SETTINGS.find(r => r.name === rule.name);
        if (radios) {
            const index = rule.choices.findIndex(c => c.number === value);
            if (index >= 0) return controlText(IDD.setting, radios.radios[index]);
        }
        return String(value);
    }

    restoreDefaults() {
        for (const rule of programData().settings) this.show(rule.name, rule.factory);
    }

    labelFor(name) {
        const rule = programData().settings.find(r => r.name.toLowerCase() === name.toLowerCase());
        return rule ? rule.label : name;
    }
}

