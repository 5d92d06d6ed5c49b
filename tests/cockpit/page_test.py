"""The Cockpit page in Chromium, on the private system bus that with-private-system-bus
sets up: reading, editing by keyboard, saving through the settings service, the dialog's
refusals, following other faces' saves, and axe-core's accessibility checks.
    page_test.py CLI PAGE_DIR AXE_DIR SCREENSHOT_DIR"""
import base64
import json
import os
import subprocess
import sys
import time

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

from cockpit_browser import TIMEOUT, browser, cockpit_session, missing_tools, open_page

HIVE = "/var/lib/marrowick/HKLM.reg"
cli, page_dir, axe_dir, screenshot_dir = sys.argv[1:5]
with open(os.path.join(page_dir, "program-data.json"), encoding="utf-8") as data_file:
    program = json.load(data_file)
STRINGS = program["strings"]
IDS_PARSE_INT_RANGE, IDS_DUPLICATE, IDS_SAVE_FAILED = "61713", "107", "117"
passed = failed = 0


def check(condition, what):
    global passed, failed
    if condition:
        passed += 1
        print(f"ok: {what}")
    else:
        failed += 1
        print(f"FAIL: {what}")
    return condition


def as_user(user, *args):
    return subprocess.run(["runuser", "-u", user, "--", "env", "-i", "PATH=/usr/bin:/bin",
                           "LANG=C.UTF-8", cli, *args], capture_output=True, text=True)


def hive_text():
    with open(HIVE, "rb") as hive:
        return hive.read().decode("utf-8", "replace").lower()


def hive_has(line):
    return line.lower() in hive_text()


def wait(driver, condition, what, timeout=TIMEOUT):
    try:
        WebDriverWait(driver, timeout).until(condition)
        return True
    except Exception:
        return check(False, f"{what} (timed out)")


def keys(driver, *sequence):
    ActionChains(driver).send_keys(*sequence).perform()


def active_id(driver):
    return driver.execute_script("return document.activeElement && document.activeElement.id")


def tab_to(driver, element_id, shift=False):
    """Moves the focus with Tab alone until it reaches the element."""
    for _ in range(80):
        if active_id(driver) == element_id:
            return True
        if shift:
            ActionChains(driver).key_down(Keys.SHIFT).send_keys(Keys.TAB).key_up(Keys.SHIFT).perform()
        else:
            keys(driver, Keys.TAB)
    raise AssertionError(f"Tab never reached #{element_id}")


def type_over(driver, text):
    ActionChains(driver).key_down(Keys.CONTROL).send_keys("a").key_up(Keys.CONTROL) \
        .send_keys(Keys.BACKSPACE, text).perform()


def value(driver, element_id):
    return driver.find_element(By.ID, element_id).get_attribute("value")


def rows(driver):
    return driver.execute_script(
        "return [...document.querySelectorAll('.mime-body [role=row]')]"
        ".map(r => [...r.children].map(c => c.textContent))")


def open_dialog_text(driver):
    return driver.execute_script("const d = document.querySelector('dialog[open]');"
                                 "return d ? d.textContent : null")


def axe_violations(driver):
    with open(os.path.join(axe_dir, "node_modules", "axe-core", "axe.min.js"), encoding="utf-8") as f:
        driver.execute_script(f.read())
    return driver.execute_async_script(
        "const done = arguments[arguments.length - 1];"
        "axe.run(document).then(r => done(r.violations.map(v => v.id + ': ' +"
        " v.nodes.map(n => n.target.join(' ')).join(', '))));")


def screenshot(driver, name, element=None):
    path = os.path.join(screenshot_dir, name)
    if element is not None:
        element.screenshot(path)
    else:
        shot = driver.execute_cdp_cmd("Page.captureScreenshot",
                                      {"format": "png", "captureBeyondViewport": True})
        with open(path, "wb") as out:
            out.write(base64.b64decode(shot["data"]))
    print(f"screenshot: {path}")


def save_by_keyboard(driver):
    tab_to(driver, "control-1")
    keys(driver, Keys.ENTER)


def main():
    if missing_tools():
        print(f"skipped: missing {', '.join(missing_tools())}")
        return 77
    os.makedirs(screenshot_dir, exist_ok=True)
    # What the page reads first, stored by root, who writes the hive without the bus.
    seed = [["set", "DocList=33", "EntrySection=12", "TopDay=montag"],
            ["mime", "set", "pdf", "application/pdf"], ["mime", "set", "HTM", "text/html"],
            ["mime", "set", "doc", "application/msword"]]
    for args in seed:
        subprocess.run([cli, *args], check=True, capture_output=True,
                       env={"PATH": "/usr/bin:/bin", "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=/nonexistent"})

    with cockpit_session(page_dir, cli, user="nobody") as url, browser() as driver:
        open_page(driver, url)
        check(value(driver, "control-1017") == "33", "the page reads DocList as show does")
        check(driver.find_element(By.ID, "control-1001").is_selected(), "TopDay 2 checks the Monday radio")
        check([r[0] for r in rows(driver)] == ["doc", "HTM", "pdf"],
              "the MIME table is sorted by extension ignoring letter case")

        violations = axe_violations(driver)
        check(violations == [], f"axe-core finds no violations on the page {violations}")
        screenshot(driver, "cockpit-page.png")

        # A count and two mappings, by keyboard alone, then OK, the preview and its OK.
        driver.find_element(By.TAG_NAME, "body").click()
        tab_to(driver, "control-1017")
        type_over(driver, "40")
        tab_to(driver, "control-1010")
        keys(driver, Keys.HOME, Keys.END, Keys.ENTER)
        wait(driver, lambda d: active_id(d) == "entry-1014", "the change dialog opens on the type")
        check(driver.find_element(By.ID, "entry-1013").get_attribute("readonly") is not None,
              "the change dialog's extension is read-only")
        type_over(driver, "application/x-pdf")
        keys(driver, Keys.ENTER)
        tab_to(driver, "control-1014-mime")
        keys(driver, Keys.ENTER)
        wait(driver, lambda d: active_id(d) == "entry-1013", "the add dialog opens on the extension")
        violations = axe_violations(driver)
        check(violations == [], f"axe-core finds no violations with the add dialog open {violations}")
        screenshot(driver, "cockpit-mime-add-dialog.png")
        keys(driver, "txt", Keys.TAB, "text/plain", Keys.ENTER)
        wait(driver, lambda d: ["txt", "text/plain"] in rows(d), "the added mapping is listed")
        check([r[0] for r in rows(driver)] == ["doc", "HTM", "pdf", "txt"],
              "an added mapping is listed at its sorted place")
        screenshot(driver, "cockpit-mime-table.png", driver.find_element(By.CSS_SELECTOR, "section.mime"))
        tab_to(driver, "control-1010", shift=True)
        keys(driver, Keys.HOME, Keys.DELETE)
        wait(driver, lambda d: open_dialog_text(d) is not None, "the delete question opens")
        question = open_dialog_text(driver) or ""
        check(STRINGS["106"] in question and "application/msword" in question,
              f"the delete question names the mapping: {question!r}")
        keys(driver, Keys.ENTER)
        wait(driver, lambda d: [r[0] for r in rows(d)] == ["HTM", "pdf", "txt"], "the deleted row goes")
        save_by_keyboard(driver)
        wait(driver, lambda d: open_dialog_text(d) is not None, "the preview opens")
        preview = open_dialog_text(driver) or ""
        check("33" in preview and "40" in preview and "application/pdf" in preview and
              "application/x-pdf" in preview and "text/plain" in preview and "application/msword" in preview,
              f"the preview lists old and new of each value: {preview!r}")
        check(not hive_has('"DocList"=dword:00000028'), "the preview writes nothing")
        keys(driver, Keys.ENTER)
        wait(driver, lambda d: hive_has('"DocList"=dword:00000028'), "the save reaches the hive")
        check(hive_has('"DocList"=dword:00000028') and hive_has('"pdf"="application/x-pdf"') and
              hive_has('"txt"="text/plain"') and not hive_has('"doc"='),
              "one save stores the count, the changed, the added and the deleted mapping") or \
            print(hive_text())
        wait(driver, lambda d: not d.find_elements(By.CSS_SELECTOR, ".mime-row.edited"),
             "the table is read again after the save")

        # A count out of range: the dialog's message at the field, nothing stored.
        before = hive_text()
        tab_to(driver, "control-1023")
        type_over(driver, "150")
        save_by_keyboard(driver)
        expected = STRINGS[IDS_PARSE_INT_RANGE].replace("%1", "5").replace("%2", "99")
        message = driver.find_element(By.ID, "control-1023-error").text
        check(message == expected, f"150 is refused with the dialog's range message: {message!r}")
        check(active_id(driver) == "control-1023", "the focus goes back to the refused field")
        check(open_dialog_text(driver) is None and hive_text() == before, "a refused value stores nothing")
        driver.find_element(By.ID, "control-2").click()
        wait(driver, lambda d: value(d, "control-1023") == "12", "Cancel puts back what is stored")

        # Another face's save shows up without reloading the page.
        driver.execute_script("window.sameDocument = true")
        result = as_user("nobody", "set", "SecThum=55")
        check(result.returncode == 0, f"the command line saves through the service {result.stderr}")
        wait(driver, lambda d: value(d, "control-1019") == "55", "the page follows the Changed signal")
        check(driver.execute_script("return window.sameDocument === true"),
              "the command line's save shows up without a reload")

        # Only the service's own Changed counts: one sent by anyone else is not delivered.
        signals = driver.execute_script("return window.marrowickPage.changedSignals")
        forged = subprocess.run(["runuser", "-u", "nobody", "--", "dbus-send", "--system", "--type=signal",
                                 program["wire"]["objectPath"], program["wire"]["interface"] + ".Changed"],
                                capture_output=True, text=True)
        check(forged.returncode == 0, f"another client sends a Changed signal of its own {forged.stderr}")
        check(as_user("nobody", "set", "SecList=66").returncode == 0, "the command line saves again")
        wait(driver, lambda d: value(d, "control-1021") == "66", "the service's next Changed arrives")
        check(driver.execute_script("return window.marrowickPage.changedSignals") == signals + 1,
              "a Changed signal from another sender is not followed")

        # A concurrent add of the same extension is refused as in the dialog (107).
        tab_to(driver, "control-1014-mime")
        keys(driver, Keys.ENTER)
        wait(driver, lambda d: active_id(d) == "entry-1013", "the add dialog opens again")
        keys(driver, "rtf", Keys.TAB, "application/rtf", Keys.ENTER)
        result = as_user("nobody", "mime", "add", "rtf", "text/rtf")
        check(result.returncode == 0, "another face adds the same extension")
        wait(driver, lambda d: ["rtf", "text/rtf"] in rows(d), "the other face's mapping shows up")
        save_by_keyboard(driver)
        wait(driver, lambda d: open_dialog_text(d) is not None, "the refusal opens")
        check(STRINGS[IDS_DUPLICATE] in (open_dialog_text(driver) or ""),
              f"the concurrent add is refused with 107: {open_dialog_text(driver)!r}")
        keys(driver, Keys.ENTER)
        check(hive_has('"rtf"="text/rtf"') and not hive_has("application/rtf"),
              "the refused add changes nothing")

        # A change of a mapping that another face deletes meanwhile is refused (119).
        tab_to(driver, "control-1010")
        keys(driver, Keys.HOME, Keys.ENTER)
        wait(driver, lambda d: active_id(d) == "entry-1014", "the change dialog opens again")
        type_over(driver, "text/x-html")
        keys(driver, Keys.ENTER)
        check(as_user("nobody", "mime", "delete", "HTM").returncode == 0, "another face deletes HTM")
        wait(driver, lambda d: "HTM" not in [r[0] for r in rows(d)], "the deletion shows up")
        save_by_keyboard(driver)
        wait(driver, lambda d: open_dialog_text(d) is not None, "the refusal opens")
        check(STRINGS["119"] in (open_dialog_text(driver) or ""),
              f"the change of a deleted mapping is refused with 119: {open_dialog_text(driver)!r}")
        keys(driver, Keys.ENTER)
        check(not hive_has('"HTM"='), "the refused change does not bring the mapping back")

    # A user polkit refuses: the dialog's refusal, nothing stored.
    before = hive_text()
    with cockpit_session(page_dir, cli, user="daemon") as url, browser() as driver:
        open_page(driver, url)
        driver.find_element(By.TAG_NAME, "body").click()
        tab_to(driver, "control-1017")
        type_over(driver, "77")
        save_by_keyboard(driver)
        wait(driver, lambda d: open_dialog_text(d) is not None, "the refusal opens")
        text = open_dialog_text(driver) or ""
        check(STRINGS[IDS_SAVE_FAILED] in text, f"polkit's refusal shows the dialog's message: {text!r}")
        keys(driver, Keys.ENTER)
        check(hive_text() == before, "the refused save changes nothing")

    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
