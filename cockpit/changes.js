// One change set for the settings service's Apply, built as the dialogs build theirs, and
// its outcome read back. Names and data travel as bytes (base64 in Cockpit's D-Bus JSON).
/* global cockpit */
import { programData, string, IDS } from "./texts.js";

const encoder = new TextEncoder();
const decoder = new TextDecoder("utf-8", { fatal: false });

function bytesToBase64(bytes) {
    let binary = "";
    for (let i = 0; i < bytes.length; i += 0x8000)
        binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return window.btoa(binary);
}

function base64ToBytes(text) {
    const binary = window.atob(text || "");
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
}

const utf8 = text => encoder.encode(text);

// A REG_DWORD's data: four bytes, little-endian; a REG_SZ's: the text and its NUL.
function dwordBytes(number) {
    const bytes = new Uint8Array(4);
    new DataView(bytes.buffer).setUint32(0, number >>> 0, true);
    return bytes;
}

function stringBytes(text) {
    const encoded = utf8(text);
    const bytes = new Uint8Array(encoded.length + 1);
    bytes.set(encoded);
    return bytes;
}

// What a stored value's bytes mean, for showing it: a number, a text or, for anything
// else, its bytes in hex.
export function valueOf(type, bytes) {
    const { types } = programData().wire;
    if (type === types.dword && bytes.length === 4)
        return new DataView(bytes.buffer, bytes.byteOffset, 4).getUint32(0, true);
    if (type === types.string) {
        const end = bytes.indexOf(0);
        return decoder.decode(end < 0 ? bytes : bytes.subarray(0, end));
    }
    return Array.from(bytes, b => b.toString(16).padStart(2, "0")).join(",");
}

export class ChangeSet {
    constructor() {
        this.changes = [];
    }

    get size() {
        return this.changes.length;
    }

    add(kind, keyPath, name, type, data, expectation = "anything") {
        this.changes.push({ kind, keyPath, name, type, data, expectation });
        return this;
    }

    setDword(keyPath, name, number) {
        return this.add("setValue", keyPath, name, programData().wire.types.dword, dwordBytes(number));
    }

    setString(keyPath, name, text, expectation) {
        return this.add("setValue", keyPath, name, programData().wire.types.string,
                        stringBytes(text), expectation);
    }

    deleteValue(keyPath, name) {
        return this.add("deleteValue", keyPath, name, 0, new Uint8Array(0));
    }

    // A key that existed when the form was filled must still exist when it is stored.
    keyStays(keyPath) {
        return this.add("createKey", keyPath, "", 0, new Uint8Array(0), "present");
    }

    // Whether every change is one of the MIME map: its refusals have their own message.
    onlyMimeMap() {
        const mimeKey = programData().keys.mimeMap.toLowerCase();
        return this.changes.length > 0 &&
            this.changes.every(c => c.keyPath.toLowerCase() === mimeKey && c.kind !== "createKey");
    }

    wireArguments(dryRun) {
        const { change, expect } = programData().wire;
        const empty = new Uint8Array(0);
        const tuples = this.changes.map(c => [
            change[c.kind], bytesToBase64(utf8(c.keyPath)), bytesToBase64(utf8(c.name)),
            c.type, bytesToBase64(c.data), expect[c.expectation], 0, bytesToBase64(empty),
        ]);
        return [tuples, dryRun];
    }
}

let bus = null;
function serviceBus() {
    if (!bus) {
        bus = cockpit.dbus(programData().wire.busName, { bus: "system" });
        bus.addEventListener("close", () => { bus = null });
    }
    return bus;
}

// The outcome of Apply as the dialogs see it: applied, or refused with the dialog's message.
// A refusal before the change path looked (polkit, an unreachable service) says the
// dialog's own "could not be saved" with the service's reason as detail.
export async function applyChangeSet(changeSet, dryRun) {
    const { wire } = programData();
    let reply;
    try {
        reply = await serviceBus().call(wire.objectPath, wire.interface, "Apply",
                                        changeSet.wireArguments(dryRun),
                                        { type: wire.applySignature, flags: "i" });
    } catch (error) {
        return {
            applied: false,
            message: string(changeSet.onlyMimeMap() ? IDS.mimeSaveFailed : IDS.saveFailed),
            detail: error.message || String(error),
            changed: [],
        };
    }
    const [result, status, failedChange, messageId, message, changed] = reply;
    return {
        applied: result === wire.result.applied,
        result, status, failedChange, messageId, message, detail: "",
        changed: changed.map(([kind, key, name, newType, newData, hadOld, oldType, oldData]) => ({
            kind,
            key: decoder.decode(base64ToBytes(key)),
            name: decoder.decode(base64ToBytes(name)),
            newValue: kind === wire.change.setValue ? valueOf(newType, base64ToBytes(newData)) : null,
            oldValue: hadOld ? valueOf(oldType, base64ToBytes(oldData)) : null,
        })),
    };
}

// Calls back when the settings service says it changed something. The match names the
// service, so the bus delivers only what the owner of its name sends.
export function followChanges(callback) {
    const { wire } = programData();
    return serviceBus().subscribe({ path: wire.objectPath, interface: wire.interface, member: "Changed" },
                                  (path, iface, signal) => {
                                      if (path === wire.objectPath && iface === wire.interface &&
                                          signal === "Changed")
                                          callback();
                                  });
}
