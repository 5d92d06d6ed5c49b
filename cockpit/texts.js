// The program's own texts and rules, written at build time from its resource scripts and
// settings' rules (program-data.json): dialog templates, string table, keys, ranges,
// choices and the settings service's wire numbers.

// Identifiers of resource.h, as the dialogs bind their controls to them.
export const IDD = { setting: 102, mimeSetting: 129, mimeAdd: 130, mimeChange: 131 };
export const IDS = {
    noExtension: 102, noMimeType: 103, extensions: 104, mimeType: 105, confirmDelete: 106,
    duplicateExtension: 107, noSelection: 108, saveFailed: 117, mimeSaveFailed: 118,
    parseInt: 0xF110, parseIntRange: 0xF111, ok: 0xF1A0, cancel: 0xF1A1,
};
export const IDC = {
    ok: 1, cancel: 2, radioSunday: 1000, radioMonday: 1001, comboSortKey: 1002,
    radioAscending: 1003, radioDescending: 1004, mimeSettings: 1005, restoreDefaults: 1007,
    mimeList: 1010, mimeAdd: 1014, mimeDelete: 1016, mimeChange: 1017,
    mimeExtension: 1013, mimeTypeEdit: 1014,
};
const ES_READONLY = 0x0800;

let data = null;

export async function loadProgramData() {
    const response = await fetch("program-data.json");
    if (!response.ok) throw new Error(`program-data.json: ${response.status}`);
    data = await response.json();
    return data;
}

export function programData() {
    return data;
}

export function string(id) {
    const text = data.strings[String(id)];
    if (text === undefined) throw new Error(`string ${id} is missing from the resources`);
    return text;
}

// "%1" and "%2" as the framework fills them in.
export function formatString(id, ...args) {
    return string(id).replace(/%([1-9])/g, (whole, n) => String(args[Number(n) - 1] ?? whole));
}

// A control's text as shown: "&" marks the mnemonic in the template, "&&" is one "&".
export function withoutMnemonic(text) {
    return text.replace(/&(&?)/g, "$1");
}

export function dialog(id) {
    const found = data.dialogs[String(id)];
    if (!found) throw new Error(`dialog ${id} is missing from the resources`);
    return found;
}

export function control(dialogId, controlId) {
    const found = dialog(dialogId).controls.find(c => c.id === controlId);
    if (!found) throw new Error(`control ${controlId} is missing from dialog ${dialogId}`);
    return found;
}

export function controlText(dialogId, controlId) {
    return withoutMnemonic(control(dialogId, controlId).text);
}

export function isReadOnly(templateControl) {
    return (templateControl.style & ES_READONLY) !== 0;
}

// The static text just before a control in template order is its label, as the dialog's
// mnemonics bind them.
export function labelOf(dialogId, controlId) {
    const controls = dialog(dialogId).controls;
    const index = controls.findIndex(c => c.id === controlId);
    for (let i = index - 1; i >= 0; --i) {
        if (controls[i].class === "static") return withoutMnemonic(controls[i].text);
        if (controls[i].class !== "updown") break;
    }
    return "";
}

export function settingRule(name) {
    const rule = data.settings.find(r => r.name.toLowerCase() === name.toLowerCase());
    if (!rule) throw new Error(`no rule for ${name}`);
    return rule;
}
