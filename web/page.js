"use strict";
// The page's side of the calculator. It builds the window's controls by
// walking the module's tables, hands each click to the module's event
// procedures, and carries files, text and downloads between the browser and
// the module. The controls hold every state: the module reads and sets them
// through window.zelvarControls, and setting a state raises no event.
(() => {
  const $ = (id) => document.getElementById(id);
  const boxes = [];   // by group, the check boxes in index order
  const panels = [];  // by group
  const ranks = [];   // by rank, the option buttons
  let picture = null;
  let client = null;
  let module = null;
  let opens = 0;

  const controls = {
    box: (group, index) => boxes[group][index],
    panel: (group) => panels[group],
    rank: (rank) => ranks[rank],
    line: null,
    placePicture(left, top, width, height) {
      Object.assign(picture.style, {
        left: `${left}px`, top: `${top}px`, width: `${width}px`, height: `${height}px`,
      });
    },
    // The window's outer size: the client area with the frame drawn round it.
    outerWidth: () => $("form1").offsetWidth,
    outerHeight: () => $("form1").offsetHeight,
  };
  window.zelvarControls = controls;

  // Every call answers in JSON. A run-time error ends the calculator, as
  // it ends the window: its report takes the window's place.
  function ask(name, types = [], args = []) {
    const said = JSON.parse(module.ccall(name, "string", types, args));
    if (said.report) {
      client.replaceChildren(make("pre", { className: "report", textContent: said.report, role: "alert" }));
      for (const control of document.querySelectorAll("#tools button, #tools input, #tools textarea"))
        control.disabled = true;
    }
    return said;
  }

  function run(name, ...args) {
    return ask(name, args.map(() => "number"), args);
  }

  function placed(element, control, rect = control.rect) {
    element.classList.add("at");
    const [x, y, w, h] = rect;
    element.style.cssText += `--x:${x}px;--y:${y}px;--w:${w}px;--h:${h}px;--order:${control.tabIndex}`;
    element.id = control.name;
    return element;
  }

  // The design's tab order, whatever container a control is in.
  function tabStop(element, control) {
    element.tabIndex = control.tabIndex + 1;
    return element;
  }

  function make(tag, properties = {}) {
    return Object.assign(document.createElement(tag), properties);
  }

  function captioned(type, caption) {
    const label = make("label", { className: "green" });
    const input = make("input", { type });
    // A long caption may break after an underscore, where a narrow screen
    // needs it to, and nowhere else; its text stays the caption.
    const span = make("span");
    caption.split(/(?<=_)/).forEach((part, i) => span.append(...(i ? [make("wbr"), part] : [part])));
    label.append(input, span);
    return [label, input];
  }

  // The tables list controls front to back; a later element stands in front.
  function build(list, container) {
    for (const c of [...list].reverse()) {
      switch (c.kind) {
        case "picture":
          picture = placed(make("img", { src: "backdrop.jpg", alt: "", className: "picture" }), c);
          container.append(picture);
          break;
        case "panel": {
          const panel = placed(make("fieldset", { className: "panel", hidden: !c.designState }), c);
          panel.append(make("legend", { textContent: c.caption }));
          build(c.contents, panel);
          panels[c.group] = panel;
          container.append(panel);
          break;
        }
        case "panelButton": {
          const button = tabStop(placed(make("button", { type: "button", textContent: c.caption, className: "command" }), c), c);
          button.setAttribute("aria-controls", panels[c.group].id);
          button.addEventListener("click", () => showMessage(run("zelvarPanelButton", c.group)));
          container.append(button);
          break;
        }
        case "textBox":
          controls.line = tabStop(placed(make("input", { type: "text", readOnly: true, value: c.caption, className: "green line" }), c), c);
          controls.line.setAttribute("aria-label", layout.lineBoxName);
          container.append(controls.line);
          break;
        case "optionButton": {
          const [label, input] = captioned("radio", c.caption);
          input.name = "rank";
          input.checked = c.designState;
          placed(label, c);
          tabStop(input, c);
          input.addEventListener("click", () => showMessage(run("zelvarRank", c.rank)));
          ranks[c.rank] = input;
          container.append(label);
          break;
        }
        case "label":
          container.append(placed(make("div", {
            className: `green label${c.large ? " large" : ""}${c.centred ? " centred" : ""}`,
            textContent: c.caption,
          }), c));
          break;
        case "checkBoxes":
          boxes[c.group] = c.options.map((o, index) => {
            const [label, input] = captioned("checkbox", o.caption);
            placed(label, { name: `${c.array}(${index})`, tabIndex: o.tabIndex }, o.rect);
            tabStop(input, o);
            input.checked = c.checked;
            // What a screen reader or a hovering pointer tells besides the caption.
            label.title = `bit ${o.bit}, value ${o.value}`;
            input.setAttribute("aria-description", label.title);
            input.addEventListener("click", () => showMessage(run("zelvarCheckBox", c.group, index)));
            container.append(label);
            return input;
          });
          break;
      }
    }
  }

  function showMessage(said) {
    if (!said) return;
    if (said.title) document.title = said.title;
    const message = said.message;
    if (!message) return;
    $("heading").textContent = message.heading;
    $("details").textContent = message.details;
    $("message").className = message.fine ? "fine" : "warning";
    $("message").hidden = false;
  }

  function clearMessage() {
    $("message").hidden = true;
  }

  // Whatever opens while the diff is shown cancels it: the plan was of
  // what was open before, and is let go with it.
  function cancelSave() {
    const dialog = $("confirm");
    if (dialog.open) dialog.close("cancel");
  }

  function openText(name, text) {
    cancelSave();
    clearMessage();
    showExplained([]);
    showMessage(ask("zelvarOpenText", ["string", "string"], [name, text]));
  }

  // What explain says of each configuration, as the page's own HTML: one
  // section a file, one entry a setting, in the order the server runs them.
  function showExplained(explained) {
    window.zelvarExplained = explained;
    const into = $("explanation");
    into.replaceChildren();
    for (const { file, reading, report } of explained) {
      const section = make("section", { className: "explained-file" });
      section.append(make("h3", { textContent: `${file}: what the server runs, read ${reading}` }));
      const list = make("ol", { className: "settings" });
      for (const s of report.settings) list.append(settingItem(s));
      if (report.settings.length === 0) list.append(make("li", { textContent: "No setting of the calculator's." }));
      section.append(list);
      for (const note of report.notes ?? []) section.append(make("p", { className: "note", textContent: note }));
      into.append(section);
    }
    $("explained").hidden = explained.length === 0;
  }

  function settingItem(s) {
    const item = make("li", { className: s.problems.length ? "problem" : "" });
    const where = `${s.file ? s.file + " " : ""}${s.line !== null ? "line " + s.line + ": " : ""}`;
    item.append(make("code", { textContent: `${where}${s.written} ${s.text}` }));
    // Why the server does not run it is among the problems, in explain's words.
    if (!s.applied) {
      if (!s.problems.length) item.append(make("p", { textContent: "Not applied: the server does not run it." }));
    } else {
      const value = s.value === null ? "too large for any total" : String(s.value);
      const options = s.options.map((o) => o.caption).join(", ") || "no option set";
      item.append(make("p", { textContent: `${s.group}, value ${value}: ${options}` }));
      if (s.overridden_by !== null) {
        const by = `${s.overridden_by_file ? s.overridden_by_file + " " : ""}line ${s.overridden_by}`;
        item.append(make("p", { className: "note", textContent: `Overridden by ${by}, which the server runs later.` }));
      }
    }
    for (const problem of s.problems) item.append(make("p", { className: "problem", textContent: problem }));
    return item;
  }

  // Files as [path, File], the path relative to the folder opened. Each
  // opening gets a folder of its own, so that exec finds only what came with it.
  async function openFiles(files) {
    cancelSave();
    clearMessage();
    const earlier = module.FS.cwd();
    const folder = `/opened/${++opens}`;
    module.FS.mkdirTree(folder);
    module.FS.chdir(folder);
    if (earlier.startsWith("/opened/")) removeTree(earlier);
    const paths = [];
    for (const [path, file] of files) {
      const clean = path.split("/").filter((part) => part && part !== "." && part !== "..").join("/");
      if (!clean) continue;
      const slash = clean.lastIndexOf("/");
      if (slash > 0) module.FS.mkdirTree(clean.slice(0, slash));
      module.FS.writeFile(clean, new Uint8Array(await file.arrayBuffer()));
      paths.push(clean);
    }
    // A folder's configuration is its server.cfg, where it has one.
    const main = paths.find((p) => p.toLowerCase() === "server.cfg");
    const opened = ask("zelvarOpenFiles", ["string"], [(main && files.folder ? [main] : paths).join("\n")]);
    showMessage(opened);
    showExplained(opened.explained ?? []);
  }

  // What an earlier opening copied in: opening files again targets them.
  function removeTree(path) {
    for (const name of module.FS.readdir(path)) {
      if (name === "." || name === "..") continue;
      const inside = `${path}/${name}`;
      if (module.FS.isDir(module.FS.stat(inside).mode)) removeTree(inside);
      else module.FS.unlink(inside);
    }
    module.FS.rmdir(path);
  }

  // A folder picked or dropped: its own name is not part of the paths. Its
  // archives (.pk3), which can be large, stay out: the reader looks into
  // none (nor does zelvar-bits).
  function withinFolder(files) {
    const list = files.filter(([path]) => !/\.pk3$/i.test(path))
      .map(([path, file]) => [path.slice(path.indexOf("/") + 1), file]);
    list.folder = true;
    return list;
  }

  async function entries(entry, path, into) {
    if (entry.isFile) {
      into.push([path + entry.name, await new Promise((ok, fail) => entry.file(ok, fail))]);
    } else if (entry.isDirectory) {
      const reader = entry.createReader();
      for (;;) {
        const batch = await new Promise((ok, fail) => reader.readEntries(ok, fail));
        if (batch.length === 0) break;
        for (const e of batch) await entries(e, `${path}${entry.name}/`, into);
      }
    }
    return into;
  }

  function download(name, bytes) {
    const url = URL.createObjectURL(new Blob([bytes], { type: "application/octet-stream" }));
    const link = make("a", { href: url, download: name });
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 10000);
  }

  // The save key: the diff first; the edited files download only once the
  // admin agrees, each under its own name.
  function save() {
    if ($("confirm").open) return;
    clearMessage();
    const plan = ask("zelvarPlan");
    if (plan.message) return showMessage(plan);
    if (!plan.changed) return showMessage({ message: { fine: plan.fine, heading: plan.heading, details: plan.said } });
    $("confirmHeading").textContent = plan.heading;
    $("confirmDetails").textContent = plan.said;
    const dialog = $("confirm");
    dialog.onclose = () => {
      if (dialog.returnValue !== "download") return;
      // Each file's bytes first, of this plan alone: none is downloaded
      // unless all are still there.
      const files = [];
      for (const [index, path] of plan.files.entries()) {
        const size = module._malloc(4);
        const at = module.ccall("zelvarPlannedBytes", "number", ["number", "number", "number"],
          [plan.opening, index, size]);
        const length = module.getValue(size, "i32");
        module._free(size);
        if (length < 0) break;
        files.push([path.slice(path.lastIndexOf("/") + 1), module.HEAPU8.slice(at, at + length)]);
      }
      const saved = run("zelvarSaved", plan.opening);
      if (files.length === plan.files.length && saved.message?.fine)
        for (const [name, bytes] of files) download(name, bytes);
      showMessage(saved);
    };
    dialog.returnValue = "";
    dialog.showModal();
  }

  async function copyLine() {
    try {
      await navigator.clipboard.writeText(controls.line.value);
    } catch {
      controls.line.select();
      document.execCommand("copy");
    }
  }

  function bindTools() {
    $("pick").addEventListener("change", (e) => {
      openFiles([...e.target.files].map((f) => [f.name, f]));
      e.target.value = "";
    });
    $("pickFolder").addEventListener("change", (e) => {
      openFiles(withinFolder([...e.target.files].map((f) => [f.webkitRelativePath, f])));
      e.target.value = "";
    });
    $("pasteForm").addEventListener("submit", (e) => {
      e.preventDefault();
      openText("the text pasted", $("paste").value);
    });
    $("copy").addEventListener("click", copyLine);
    $("save").addEventListener("click", save);
    document.addEventListener("keydown", (e) => {
      if ((e.ctrlKey || e.metaKey) && e.key.toLowerCase() === "s") {
        e.preventDefault();
        save();
      }
    });
    // The paste and copy keys, as in the window, wherever the focus is but
    // in the box for pasting.
    document.addEventListener("paste", (e) => {
      if (e.target === $("paste")) return;
      e.preventDefault();
      openText("the clipboard", e.clipboardData.getData("text"));
    });
    document.addEventListener("copy", (e) => {
      if (String(document.getSelection()) && e.target !== controls.line) return;
      const box = controls.line;
      const selected = e.target === box && box.selectionStart !== box.selectionEnd;
      e.clipboardData.setData("text/plain", selected ? box.value.slice(box.selectionStart, box.selectionEnd) : box.value);
      e.preventDefault();
    });
    document.addEventListener("dragover", (e) => e.preventDefault());
    document.addEventListener("drop", async (e) => {
      e.preventDefault();
      const transfer = e.dataTransfer;
      const items = [...transfer.items].filter((i) => i.kind === "file")
        .map((i) => i.webkitGetAsEntry?.()).filter(Boolean);
      if (items.length > 0) {  // files and folders, walked
        const files = [];
        for (const entry of items) await entries(entry, "", files);
        return openFiles(items.length === 1 && items[0].isDirectory ? withinFolder(files) : files);
      }
      if (transfer.files.length > 0) return openFiles([...transfer.files].map((f) => [f.name, f]));
      return openText("the dropped text", transfer.getData("text"));
    });
  }

  let layout = null;
  window.zelvarReady = ZelvarModule().then((m) => {
    module = m;
    layout = ask("zelvarLayout");
    controls.layout = layout;
    const form = $("form1");
    const [, , width, height] = layout.client;
    form.style.setProperty("--client-width", `${width}px`);
    form.style.setProperty("--client-height", `${height}px`);
    form.style.setProperty("--green", layout.green);
    form.style.setProperty("--black", layout.black);
    form.style.setProperty("--window", layout.window);
    $("caption").textContent = layout.caption;
    document.title = layout.caption;
    client = $("client");
    client.setAttribute("aria-label", layout.caption);
    build(layout.controls, client);
    run("zelvarLoad");
    bindTools();
    // What scripts/bench reads: the calculator built and its line written.
    performance.mark("zelvar-loaded");
    return module;
  }).catch((error) => {
    $("client").textContent = `This browser cannot run the calculator: ${error}`;
    throw error;
  });
})();
