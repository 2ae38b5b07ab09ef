#include "status_page.hpp"

namespace tagsink::http {
namespace {

constexpr std::string_view kPage = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>tagsink-run</title>
<style>
body { font: 14px/1.4 system-ui, sans-serif; margin: 0; color: #222; background: #f6f7f9; }
header { display: flex; gap: 12px; align-items: center; padding: 10px 16px; background: #fff; border-bottom: 1px solid #ddd; }
header h1 { font-size: 16px; margin: 0 12px 0 0; }
.link { padding: 3px 10px; border-radius: 12px; color: #fff; font-weight: 600; }
.link.up { background: #2e7d32; }
.link.down { background: #c62828; }
main { padding: 12px 16px; display: grid; gap: 12px; }
section { background: #fff; border: 1px solid #ddd; border-radius: 6px; padding: 10px 12px; }
h2 { font-size: 14px; margin: 0 0 8px; }
#counters { display: flex; flex-wrap: wrap; gap: 8px 24px; }
#counters div span { font-weight: 600; }
table { border-collapse: collapse; width: 100%; }
th, td { text-align: left; padding: 2px 8px; border-bottom: 1px solid #eee; font-variant-numeric: tabular-nums; }
td.bad { color: #c62828; }
#filter { margin-bottom: 6px; width: 260px; }
#log { font: 12px/1.3 monospace; white-space: pre-wrap; max-height: 220px; overflow-y: auto; margin: 0; }
#error { color: #c62828; }
</style>
</head>
<body>
<header>
  <h1>tagsink-run</h1>
  <span id="opc-link" class="link down">OPC Disconnected</span>
  <span id="db-link" class="link down">DB Disconnected</span>
  <span id="error"></span>
</header>
<main>
  <section><h2>Statements</h2><div id="counters"></div></section>
  <section>
    <h2>Live values</h2>
    <input id="filter" type="search" placeholder="Filter by path or item ID">
    <table><thead><tr><th>Path</th><th>Item ID</th><th>Value</th><th>Quality</th><th>Time stamp (UTC)</th><th>Changed</th></tr></thead>
    <tbody id="items"></tbody></table>
  </section>
  <section><h2>Log</h2><pre id="log"></pre></section>
</main>
<script>
"use strict";
let token = sessionStorage.getItem("tagsink-token") || "";
const rows = new Map();
const $ = (id) => document.getElementById(id);

function headers() { return token ? { Authorization: "Bearer " + token } : {}; }

async function api(path) {
  const response = await fetch(path, { headers: headers(), cache: "no-store" });
  if (response.status === 401) {
    token = prompt("This recorder asks for its access token:") || "";
    sessionStorage.setItem("tagsink-token", token);
    throw new Error("access token needed");
  }
  return response;
}

function showLink(id, up, upText, downText) {
  const el = $(id);
  el.className = "link " + (up ? "up" : "down");
  el.textContent = up ? upText : downText;
}

function showStatus(s) {
  showLink("opc-link", s.opc.up, "OPC Connected", "OPC Disconnected");
  showLink("db-link", s.db.up, "DB Connected", "DB Disconnected");
  const counters = [["Queued", s.queued], ["Executed", s.executed], ["Waiting", s.waiting],
    ["In sql.dat", s.journaled], ["Quarantined", s.quarantined], ["Lost", s.lost],
    ["Failures", s.failures], ["Reconnect attempts", s.opc.reconnect_attempts]];
  $("counters").innerHTML = "";
  for (const [name, value] of counters) {
    const div = document.createElement("div");
    div.textContent = name + ": ";
    const span = document.createElement("span");
    span.textContent = value;
    div.appendChild(span);
    $("counters").appendChild(div);
  }
  $("error").textContent = s.last_error ? "Last error: " + s.last_error : "";
}

function setRow(item) {
  let tr = rows.get(item.path);
  if (!tr) {
    tr = document.createElement("tr");
    for (let i = 0; i < 6; i++) tr.appendChild(document.createElement("td"));
    tr.dataset.path = item.path;
    rows.set(item.path, tr);
    $("items").appendChild(tr);
  }
  const cells = tr.children;
  cells[0].textContent = item.path;
  cells[1].textContent = item.item_id;
  cells[2].textContent = item.value;
  cells[3].textContent = item.quality_text ? item.quality_text + " (" + item.quality + ")" : "";
  cells[3].className = (item.quality & 0xC0) === 0 && item.quality_text ? "bad" : "";
  cells[4].textContent = item.time_stamp;
  cells[5].textContent = item.changed;
  applyFilter(tr);
}

function applyFilter(tr) {
  const f = $("filter").value.toLowerCase();
  const text = (tr.children[0].textContent + " " + tr.children[1].textContent).toLowerCase();
  tr.style.display = !f || text.includes(f) ? "" : "none";
}

function addLog(line) {
  const log = $("log");
  log.textContent += line + "\n";
  const lines = log.textContent.split("\n");
  if (lines.length > 201) log.textContent = lines.slice(lines.length - 201).join("\n");
  log.scrollTop = log.scrollHeight;
}

async function loadItems() {
  const body = await (await api("/api/items")).json();
  for (const item of body.items) setRow(item);
}

async function refreshStatus() {
  try {
    showStatus(await (await api("/api/status")).json());
  } catch (e) {
    $("error").textContent = "No answer from the recorder: " + e.message;
    showLink("opc-link", false, "", "OPC unknown");
    showLink("db-link", false, "", "DB unknown");
  }
}

function handle(type, data) {
  const value = JSON.parse(data);
  if (type === "value") setRow(value);
  else if (type === "log") addLog(value);
  else if (type === "link") {
    if (value.link === "opc") showLink("opc-link", value.up, "OPC Connected", "OPC Disconnected");
    else showLink("db-link", value.up, "DB Connected", "DB Disconnected");
  } else if (type === "resync") loadItems().catch(() => {});
}

// The event stream through fetch, so that the access token goes along as a header.
async function follow() {
  for (;;) {
    try {
      const response = await api("/api/events");
      if (!response.ok) throw new Error("events: HTTP " + response.status);
      const reader = response.body.getReader();
      const decoder = new TextDecoder();
      let buffer = "";
      for (;;) {
        const { value, done } = await reader.read();
        if (done) break;
        buffer += decoder.decode(value, { stream: true });
        let end;
        while ((end = buffer.indexOf("\n\n")) >= 0) {
          const block = buffer.slice(0, end);
          buffer = buffer.slice(end + 2);
          let type = "message", data = "";
          for (const line of block.split("\n")) {
            if (line.startsWith("event: ")) type = line.slice(7);
            else if (line.startsWith("data: ")) data += line.slice(6);
          }
          if (data) handle(type, data);
        }
      }
    } catch (e) {
      $("error").textContent = "Event stream: " + e.message;
    }
    await new Promise((r) => setTimeout(r, 2000));
    loadItems().catch(() => {});
  }
}

$("filter").addEventListener("input", () => { for (const tr of rows.values()) applyFilter(tr); });
(async () => {
  await refreshStatus();
  try {
    const s = await (await api("/api/status")).json();
    for (const line of s.log) addLog(line);
  } catch (e) {}
  loadItems().catch(() => {});
  follow();
  setInterval(refreshStatus, 2000);
})();
</script>
</body>
</html>
)PAGE";

} // namespace

std::string_view StatusPageHtml() {
    return kPage;
}

} // namespace tagsink::http
