// The Marrowick page in Cockpit: the main dialog's settings and the MIME map, read with
// the command line (`show --json`, `mime list --json`) and saved as one change set through
// the settings service, where polkit decides. It follows the service's Changed signal.
/* global cockpit */
import { ChangeSet, applyChangeSet, followChanges } from "./changes.js";
import { messageBox, modal } from "./dialogs.js";
import { SettingsForm, element } from "./form.js";
import { MimeTable } from "./mime-table.js";
import { IDC, IDD, IDS, dialog, loadProgramData, programData, string, withoutMnemonic } from "./texts.js";

performance.mark("marrowick-start");

// The output as bytes: a large MIME map is megabytes of JSON, which the browser's own
// decoder reads far faster than a text channel's.
const utf8 = new TextDecoder();
function spawnJson(args) {
    return cockpit.spawn(["marrowick", ...args, "--json"], { err: "message", binary: true })
        .then(output => JSON.parse(utf8.decode(output)));
}

class Page {
    constructor() {
        this.form = new SettingsForm();
        this.table = new MimeTable();
        this.reading = null;
        this.saving = false;
        this.changedSignals = 0;  // Changed signals followed, for the tests
        this.form.button(IDC.ok).addEventListener("click", () => this.save());
        this.form.button(IDC.cancel).addEventListener("click", () => this.discard());
        this.form.button(IDC.mimeSettings).addEventListener("click", () => this.table.grid.focus());
        this.status = element("p", { class: "status", role: "status" });
    }

    mount(root) {
        const caption = withoutMnemonic(dialog(IDD.setting).caption);
        document.title = caption;
        root.replaceChildren(element("h1", { id: "page-title", text: caption }), this.status,
                             this.form.node, this.table.node);
    }

    // Reads both through the command line; a second request while one runs waits for it
    // and then reads once more, so the last change is never missed.
    reload() {
        if (this.reading) {
            this.again = true;
            return this.reading;
        }
        this.reading = Promise.all([spawnJson(["show"]), spawnJson(["mime", "list"])])
            .then(([shown, listed]) => {
                performance.mark("marrowick-read");
                this.form.fill(shown.settings);
                this.table.fill(listed.mappings);
                this.status.textContent = "";
            })
            .catch(error => { this.status.textContent = error.message || String(error) })
            .finally(() => {
                this.reading = null;
                if (this.again) {
                    this.again = false;
                    this.reload();
                }
            });
        return this.reading;
    }

    changeSet(values) {
        const changeSet = new ChangeSet();
        this.form.addChanges(changeSet, values);
        this.table.addChanges(changeSet);
        return changeSet;
    }

    describeChange(change) {
        if (change.key.toLowerCase() === programData().keys.mimeMap.toLowerCase())
            return [`${string(IDS.extensions)} ${change.name}`, change.oldValue ?? "—", change.newValue ?? "—"];
        return [this.form.labelFor(change.name), this.form.describe(change.name, change.oldValue),
                this.form.describe(change.name, change.newValue)];
    }

    // OK: the dialog's checks, then a dry run that lists old → new per value, then, when
    // confirmed, the same change set for real.
    async save() {
        if (this.saving) return;
        const { values } = this.form.validate();
        if (!values) return;
        const changeSet = this.changeSet(values);
        if (changeSet.size === 0) return;
        this.saving = true;
        try {
            const preview = await applyChangeSet(changeSet, true);
            if (!preview.applied) return this.refused(preview, changeSet);
            if (preview.changed.length === 0) return this.saved();
            const list = element("ul", { class: "preview", id: "preview-list" });
            for (const change of preview.changed) {
                const [what, before, after] = this.describeChange(change);
                list.append(element("li", {},
                                    element("span", { class: "what", text: `${what}: ` }),
                                    element("span", { class: "old", text: String(before) }),
                                    element("span", { "aria-hidden": "true", text: " → " }),
                                    element("span", { class: "new", text: String(after) })));
            }
            const confirmed = await modal({
                title: withoutMnemonic(dialog(IDD.setting).caption), body: list,
                okText: string(IDS.ok), cancelText: string(IDS.cancel),
            });
            if (!confirmed) return;
            const outcome = await applyChangeSet(changeSet, false);
            if (!outcome.applied) return this.refused(outcome, changeSet);
            this.saved();
        } finally {
            this.saving = false;
        }
    }

    saved() {
        this.table.pending.clear();
        this.form.base = null;
        return this.reload();
    }

    async refused(outcome, changeSet) {
        await messageBox(outcome.message, { detail: outcome.detail });
        // As in the list dialog, a mapping added or changed meanwhile by someone else is
        // not offered again: what they stored stands.
        const failed = changeSet.changes[outcome.failedChange];
        if (outcome.result === programData().wire.result.expectationFailed && failed &&
            failed.kind !== "createKey")
            this.table.forget(failed.name);
        // The refused change set changed nothing; what is stored may have.
        await this.reload();
    }

    discard() {
        this.table.discardEdits();
        this.form.base = null;
        this.reload();
    }
}

async function start() {
    await loadProgramData();
    const page = new Page();
    const root = document.getElementById("page");
    page.mount(root);
    await page.reload();
    try {
        followChanges(() => {
            ++page.changedSignals;
            page.reload();
        });
    } catch (error) {
        console.warn("Changed signal not followed:", error);
    }
    root.removeAttribute("aria-busy");
    document.body.dataset.ready = "true";
    performance.mark("marrowick-interactive");
    window.marrowickPage = page;
}

start().catch(error => {
    const root = document.getElementById("page");
    root.removeAttribute("aria-busy");
    root.append(element("p", { role: "alert", text: error.message || String(error) }));
});
