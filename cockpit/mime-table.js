// The MIME map as the list dialog shows it: extension and MIME type, sorted by extension
// ignoring letter case, with add, change and delete. Only the rows in view are in the
// page, so that a map of tens of thousands of mappings opens and scrolls at once.
// Edits are kept until the form is saved, as one change set with the dialog's
// expectations: an added extension must still be absent, a changed one still present.
import { element } from "./form.js";
import {
    IDC, IDD, IDS, control, controlText, dialog, isReadOnly, labelOf, programData, string,
    withoutMnemonic,
} from "./texts.js";
import { messageBox, modal } from "./dialogs.js";

const ROW_HEIGHT = 28;   // px, the same for every row (see marrowick.css)
const OVERSCAN = 8;      // rows drawn beyond each edge of the view

// The order the store sorts by: extensions compared ignoring letter case; equal ones keep
// their order. After every save the table is read again in the store's own order.
const fold = text => text.toLowerCase();
const compareExtensions = (a, b) => {
    const x = fold(a), y = fold(b);
    return x < y ? -1 : x > y ? 1 : 0;
};

export class MimeTable {
    constructor() {
        this.stored = [];        // [{extension, type}] as last read, in the store's order
        this.pending = new Map();  // folded extension -> {op: "add"|"change"|"delete", extension, type}
        this.rows = [];          // what the table shows: stored with pending applied
        this.selected = -1;
        this.node = this.build();
    }

    build() {
        const template = dialog(IDD.mimeSetting);
        this.heading = element("h2", { id: "mime-title", text: withoutMnemonic(template.caption) });
        const header = element("div", { role: "row", class: "mime-row mime-header", "aria-rowindex": 1 },
                               element("span", { role: "columnheader", text: string(IDS.extensions) }),
                               element("span", { role: "columnheader", text: string(IDS.mimeType) }));
        this.spacer = element("div", { class: "mime-spacer", role: "presentation" });
        this.body = element("div", { role: "rowgroup", class: "mime-body" });
        this.viewport = element("div", { class: "mime-viewport", role: "presentation" }, this.spacer);
        this.spacer.append(this.body);
        this.grid = element("div", {
            role: "grid", id: `control-${IDC.mimeList}`, class: "mime-grid", tabindex: 0,
            "aria-labelledby": "mime-title", "aria-colcount": 2, "aria-readonly": "true",
        }, element("div", { role: "rowgroup" }, header), this.viewport);
        this.viewport.addEventListener("scroll", () => this.draw(), { passive: true });
        this.grid.addEventListener("keydown", event => this.onKey(event));
        this.body.addEventListener("click", event => {
            const row = event.target.closest("[data-index]");
            if (row) this.select(Number(row.dataset.index));
        });
        this.body.addEventListener("dblclick", () => this.change());

        const buttons = element("div", { class: "button-column" });
        for (const [id, action] of [[IDC.mimeAdd, () => this.add()], [IDC.mimeChange, () => this.change()],
            [IDC.mimeDelete, () => this.remove()]]) {
            const button = element("button", { type: "button", id: `control-${id}-mime`,
                                               text: controlText(IDD.mimeSetting, id) });
            button.addEventListener("click", action);
            buttons.append(button);
        }
        return element("section", { class: "mime", "aria-labelledby": "mime-title" },
                       this.heading, element("div", { class: "mime-layout" }, this.grid, buttons));
    }

    // Takes `mime list --json`'s mappings (already in the store's order); edits not yet
    // saved stay on top of them.
    fill(mappings) {
        this.stored = mappings;
        this.rebuild();
    }

    rebuild() {
        const selectedExtension = this.selected >= 0 ? this.rows[this.selected]?.extension : null;
        let rows = this.stored;
        if (this.pending.size) {
            rows = [];
            for (const entry of this.stored) {
                const edit = this.pending.get(fold(entry.extension));
                // An addition that another face has stored meanwhile shows both; saving
                // it is refused as a duplicate.
                if (!edit || edit.op === "add") rows.push(entry);
                else if (edit.op === "change") rows.push({ extension: entry.extension, type: edit.type, edited: true });
            }
            for (const edit of this.pending.values()) {
                if (edit.op !== "add") continue;
                let at = rows.length;
                while (at > 0 && compareExtensions(rows[at - 1].extension, edit.extension) > 0) --at;
                // Binary search would do for one; a handful of additions stays linear.
                rows.splice(at, 0, { extension: edit.extension, type: edit.type, edited: true });
            }
        }
        this.rows = rows;
        this.selected = selectedExtension === null
            ? -1 : this.rows.findIndex(r => r.extension === selectedExtension);
        this.grid.setAttribute("aria-rowcount", String(this.rows.length + 1));
        this.spacer.style.height = `${this.rows.length * ROW_HEIGHT}px`;
        this.draw();
    }

    // Draws the rows in view (and a few beyond), nothing else.
    draw() {
        const top = this.viewport.scrollTop;
        const height = this.viewport.clientHeight || ROW_HEIGHT * 12;
        const first = Math.max(0, Math.floor(top / ROW_HEIGHT) - OVERSCAN);
        const last = Math.min(this.rows.length, Math.ceil((top + height) / ROW_HEIGHT) + OVERSCAN);
        const fragment = document.createDocumentFragment();
        for (let i = first; i < last; ++i) {
            const entry = this.rows[i];
            const row = element("div", {
                role: "row", class: "mime-row", id: `mime-row-${i}`, "data-index": i,
                "aria-rowindex": i + 2, "aria-selected": i === this.selected ? "true" : "false",
            }, element("span", { role: "gridcell", text: entry.extension }),
            element("span", { role: "gridcell", text: entry.type }));
            if (entry.edited) row.classList.add("edited");
            row.style.transform = `translateY(${i * ROW_HEIGHT}px)`;
            fragment.append(row);
        }
        this.body.replaceChildren(fragment);
        if (this.selected >= first && this.selected < last)
            this.grid.setAttribute("aria-activedescendant", `mime-row-${this.selected}`);
        else
            this.grid.removeAttribute("aria-activedescendant");
    }

    select(index) {
        if (!this.rows.length) return;
        this.selected = Math.max(0, Math.min(this.rows.length - 1, index));
        const top = this.selected * ROW_HEIGHT;
        const view = this.viewport;
        if (top < view.scrollTop) view.scrollTop = top;
        else if (top + ROW_HEIGHT > view.scrollTop + view.clientHeight)
            view.scrollTop = top + ROW_HEIGHT - view.clientHeight;
        this.draw();
    }

    onKey(event) {
        const page = Math.max(1, Math.floor(this.viewport.clientHeight / ROW_HEIGHT) - 1);
        const moves = {
            ArrowDown: 1, ArrowUp: -1, PageDown: page, PageUp: -page,
        };
        if (event.key in moves) this.select((this.selected < 0 ? -1 : this.selected) + moves[event.key]);
        else if (event.key === "Home") this.select(0);
        else if (event.key === "End") this.select(this.rows.length - 1);
        else if (event.key === "Enter") this.change();
        else if (event.key === "Delete") this.remove();
        else return;
        event.preventDefault();
    }

    has(extension) {
        return this.rows.some(r => compareExtensions(r.extension, extension) === 0);
    }

    // The add and change dialogs, from their templates. Resolves to {extension, type} on
    // OK, null on Cancel.
    entryDialog(dialogId, extension, type) {
        const template = dialog(dialogId);
        const fields = {};
        const body = element("div", { class: "entry-fields" });
        for (const id of [IDC.mimeExtension, IDC.mimeTypeEdit]) {
            const c = control(dialogId, id);
            const input = element("input", { type: "text", id: `entry-${id}`, autocomplete: "off",
                                             readonly: isReadOnly(c) });
            input.value = id === IDC.mimeExtension ? extension : type;
            fields[id] = input;
            body.append(element("label", { for: input.id, text: labelOf(dialogId, id) }), input);
        }
        const validate = dialogId === IDD.mimeAdd ? () => {
            // Only emptiness is checked, as the add dialog does.
            if (fields[IDC.mimeExtension].value === "") return [IDS.noExtension, fields[IDC.mimeExtension]];
            if (fields[IDC.mimeTypeEdit].value === "") return [IDS.noMimeType, fields[IDC.mimeTypeEdit]];
            return null;
        } : () => null;
        return modal({
            title: withoutMnemonic(template.caption), body,
            okText: controlText(dialogId, IDC.ok), cancelText: controlText(dialogId, IDC.cancel),
            initialFocus: fields[IDC.mimeExtension].readOnly ? fields[IDC.mimeTypeEdit] : fields[IDC.mimeExtension],
            validate,
        }).then(ok => ok ? { extension: fields[IDC.mimeExtension].value, type: fields[IDC.mimeTypeEdit].value } : null);
    }

    async add() {
        const entry = await this.entryDialog(IDD.mimeAdd, "", "");
        if (!entry) return this.grid.focus();
        if (this.has(entry.extension)) {
            await messageBox(string(IDS.duplicateExtension));
            return this.grid.focus();
        }
        const key = fold(entry.extension);
        const earlier = this.pending.get(key);
        // Added again after a deletion not yet saved: the stored mapping gets the new type.
        if (earlier && earlier.op === "delete")
            this.pending.set(key, { op: "change", extension: earlier.extension, type: entry.type });
        else
            this.pending.set(key, { op: "add", extension: entry.extension, type: entry.type });
        this.afterEdit(entry.extension);
    }

    async selectedRow() {
        if (this.selected < 0 || this.selected >= this.rows.length) {
            await messageBox(string(IDS.noSelection));
            this.grid.focus();
            return null;
        }
        return this.rows[this.selected];
    }

    async change() {
        const row = await this.selectedRow();
        if (!row) return;
        const entry = await this.entryDialog(IDD.mimeChange, row.extension, row.type);
        if (!entry) return this.grid.focus();
        const key = fold(row.extension);
        const earlier = this.pending.get(key);
        this.pending.set(key, { op: earlier && earlier.op === "add" ? "add" : "change",
                                extension: row.extension, type: entry.type });
        this.afterEdit(row.extension);
    }

    async remove() {
        const row = await this.selectedRow();
        if (!row) return;
        const question = `${string(IDS.extensions)}\t${row.extension}\n${string(IDS.mimeType)}\t${row.type}\n` +
            string(IDS.confirmDelete);
        if (!await messageBox(question, { cancel: true })) return this.grid.focus();
        const key = fold(row.extension);
        const earlier = this.pending.get(key);
        if (earlier && earlier.op === "add") this.pending.delete(key);
        else this.pending.set(key, { op: "delete", extension: row.extension });
        this.selected = -1;
        this.afterEdit(null);
    }

    afterEdit(extension) {
        this.rebuild();
        if (extension !== null) this.select(this.rows.findIndex(r => r.extension === extension));
        this.grid.focus();
    }

    addChanges(changeSet) {
        const key = programData().keys.mimeMap;
        for (const edit of this.pending.values()) {
            if (edit.op === "add") changeSet.setString(key, edit.extension, edit.type, "absent");
            else if (edit.op === "change") changeSet.setString(key, edit.extension, edit.type, "present");
            else changeSet.deleteValue(key, edit.extension);
        }
    }

    forget(extension) {
        this.pending.delete(fold(extension));
        this.rebuild();
    }

    discardEdits() {
        this.pending.clear();
        this.rebuild();
    }
}
