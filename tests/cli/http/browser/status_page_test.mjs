// tagsink-run's status page in a real browser (chromium driven by playwright-core): the page shows the
// live values of a running recorder as they change, filters them, and turns the database link red while
// the database is gone and green again when it is back.
//
// Environment (scripts/test.d/browser.sh sets it):
//   TAGSINK_URL              the recorder's status page, e.g. http://127.0.0.1:56110/
//   TAGSINK_OUTAGE_START     a shell command that takes the database away
//   TAGSINK_OUTAGE_END       a shell command that brings it back
//   TAGSINK_SCREENSHOT       where to save a screenshot of the page while both links are up (optional)
//   TAGSINK_CHROMIUM         the browser (default /usr/bin/chromium)
// Exits 0 when every check holds; otherwise prints what failed and exits 1.
import { execSync } from "node:child_process";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { chromium } from "playwright-core";

const url = process.env.TAGSINK_URL;
if (!url || !process.env.TAGSINK_OUTAGE_START || !process.env.TAGSINK_OUTAGE_END) {
  console.error("status_page_test: TAGSINK_URL, TAGSINK_OUTAGE_START and TAGSINK_OUTAGE_END are needed");
  process.exit(2);
}

let failures = 0;
function check(ok, what) {
  console.log((ok ? "ok   " : "FAIL ") + what);
  if (!ok) failures++;
  return ok;
}

// Waits until `probe` returns something truthy (checked every 200 ms); returns it, or null at the limit.
async function waitFor(probe, seconds) {
  const deadline = Date.now() + seconds * 1000;
  for (;;) {
    const value = await probe();
    if (value) return value;
    if (Date.now() > deadline) return null;
    await new Promise((r) => setTimeout(r, 200));
  }
}

const profile = mkdtempSync(join(tmpdir(), "tagsink-chromium-"));
const browser = await chromium.launchPersistentContext(profile, {
  executablePath: process.env.TAGSINK_CHROMIUM || "/usr/bin/chromium",
  headless: true,
  viewport: { width: 1100, height: 760 },
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});
try {
  const page = browser.pages()[0] || (await browser.newPage());
  const errors = [];
  page.on("pageerror", (error) => errors.push(error.message));
  await page.goto(url, { waitUntil: "load" });

  const link = (id) => page.evaluate((id) => {
    const el = document.getElementById(id);
    return { up: el.classList.contains("up"), down: el.classList.contains("down"), text: el.textContent,
      color: getComputedStyle(el).backgroundColor };
  }, id);
  const cell = (itemId, column) => page.evaluate(([itemId, column]) => {
    for (const tr of document.querySelectorAll("#items tr"))
      if (tr.children[1].textContent === itemId) return tr.children[column].textContent;
    return null;
  }, [itemId, column]);

  const upDb = await waitFor(async () => (await link("db-link")).up, 30);
  check(upDb, "the database link shows up");
  const upOpc = await waitFor(async () => (await link("opc-link")).up, 30);
  check(upOpc, "the OPC link shows up");
  if (upDb) {
    const db = await link("db-link");
    check(db.text === "DB Connected", `the database link reads "DB Connected" (${db.text})`);
    check(db.color === "rgb(46, 125, 50)", `the database link is green (${db.color})`);
  }

  // A value of the simulated server changes on the page without a reload (the event stream).
  const first = await waitFor(() => cell("Sine.Real8", 2), 20);
  check(first !== null && first !== "", `the table shows Sine.Real8 (${first})`);
  const next = await waitFor(async () => {
    const now = await cell("Sine.Real8", 2);
    return now !== null && now !== first ? now : null;
  }, 15);
  check(next !== null, `Sine.Real8 changes on the page (${first} -> ${next})`);
  const quality = await cell("Sine.Real8", 3);
  check(quality === "Good (192)", `its quality reads "Good (192)" (${quality})`);

  // The filter hides the rows that do not match the path or item ID.
  await page.fill("#filter", "ramp");
  const shown = await page.evaluate(() => [...document.querySelectorAll("#items tr")]
    .filter((tr) => tr.style.display !== "none").map((tr) => tr.children[1].textContent));
  check(shown.length > 0 && shown.every((id) => id.toLowerCase().includes("ramp")),
    `the filter "ramp" leaves only matching rows (${shown.join(", ")})`);
  await page.fill("#filter", "");

  const counters = await page.textContent("#counters");
  check(/Executed: [1-9]/.test(counters), `the counters show executed statements (${counters})`);
  const log = await page.textContent("#log");
  check(log.length > 0, "the log tail shows lines");

  if (process.env.TAGSINK_SCREENSHOT) {
    await page.screenshot({ path: process.env.TAGSINK_SCREENSHOT });
    console.log("screenshot: " + process.env.TAGSINK_SCREENSHOT);
  }

  // The database goes away: the link turns red; it comes back: green again.
  execSync(process.env.TAGSINK_OUTAGE_START, { stdio: "inherit" });
  const down = await waitFor(async () => {
    const db = await link("db-link");
    return db.down ? db : null;
  }, 40);
  if (check(down !== null, "the database link turns down during the outage")) {
    check(down.text === "DB Disconnected", `it reads "DB Disconnected" (${down.text})`);
    check(down.color === "rgb(198, 40, 40)", `it is red (${down.color})`);
  }
  const opcDuring = await link("opc-link");
  check(opcDuring.up, "the OPC link stays up meanwhile");
  execSync(process.env.TAGSINK_OUTAGE_END, { stdio: "inherit" });
  check(await waitFor(async () => (await link("db-link")).up, 40), "the database link is up again after it");
  check(errors.length === 0, `no script errors on the page (${errors.join("; ")})`);
} catch (error) {
  check(false, "the browser run: " + error.message);
} finally {
  await browser.close();
  rmSync(profile, { recursive: true, force: true });
}
process.exit(failures === 0 ? 0 : 1);
