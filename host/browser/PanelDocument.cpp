// SPDX-License-Identifier: Apache-2.0
#include "host/browser/PanelDocument.h"

#include "host/browser/DialogHtml.h"

namespace {

const char* const kStyle = R"(
html, body { margin: 0; background: #fff; font: 12px Arial, Helvetica, sans-serif; }
#panel, .client { position: relative; background: #fff; overflow: hidden; }
.ctl { position: absolute; box-sizing: border-box; margin: 0; white-space: nowrap;
       overflow: hidden; text-overflow: ellipsis; }
.box { display: flex; align-items: center; gap: 4px; cursor: default; }
.box input { margin: 0; }
.off { color: #888; }
button.ctl { font: inherit; }
button.default { border: 2px solid #333; }
.text { white-space: normal; }
.centred { text-align: center; }
#veil { position: fixed; inset: 0; display: none; align-items: center; justify-content: center;
        background: rgba(255, 255, 255, 0.5); }
.window { border: 1px solid #555; background: #f0f0f0; box-shadow: 2px 2px 6px #888;
          max-width: 96%; }
.caption { background: #2a5db0; color: #fff; padding: 3px 6px; font-weight: bold; }
.body { padding: 10px; }
.live { color: #666; font-size: 11px; text-align: center; white-space: nowrap;
        overflow: hidden; text-overflow: ellipsis; padding: 0 6px 6px; }
.message { display: flex; gap: 10px; white-space: pre-wrap; }
.icon { font-weight: bold; font-size: 18px; }
.notes { white-space: pre-wrap; color: #444; font-size: 11px; margin-top: 8px; }
.buttons { text-align: center; padding: 0 10px 10px; }
.buttons button { min-width: 70px; margin: 0 4px; }
)";

const char* const kScript = R"(
(function () {
  'use strict';
  var key = document.body.getAttribute('data-key');
  var base = location.pathname;
  var panel = document.getElementById('panel');
  var veil = document.getElementById('veil');
  var seen = { box: 0, prompt: 0 };
  var polling = false;
  function post(path) {
    return fetch(base + path, { method: 'POST', headers: { 'X-Dravik-Key': key },
                                cache: 'no-store', credentials: 'omit' })
      .then(function (r) { return r.json(); });
  }
  function el(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }
  function windowOf(caption, width) {
    var w = el('div', 'window');
    if (width) w.style.width = width + 'px';
    w.appendChild(el('div', 'caption', caption || '\u00a0'));
    veil.replaceChildren(w);
    veil.style.display = 'flex';
    return w;
  }
  function hide() { veil.replaceChildren(); veil.style.display = 'none'; }
  function buttons(w, list) {
    var row = el('div', 'buttons');
    list.forEach(function (b) {
      var button = el('button', '', b[0]);
      button.type = 'button';
      button.id = b[1];
      button.addEventListener('click', b[2]);
      row.appendChild(button);
    });
    w.appendChild(row);
    row.firstChild.focus();
  }
  function showProgress(p) {
    var w = windowOf(p.caption, p.width);
    w.id = 'progress';
    var client = el('div', 'client');
    client.style.width = p.width + 'px';
    client.style.height = p.height + 'px';
    client.style.font = p.font;
    client.innerHTML = p.html;
    w.appendChild(client);
    var live = el('div', 'live', p.live || '\u00a0');
    live.id = 'live';
    w.appendChild(live);
  }
  function showBox(b) {
    var w = windowOf(b.caption);
    w.id = 'box';
    var body = el('div', 'body');
    var message = el('div', 'message');
    if (b.icon) message.appendChild(el('span', 'icon', b.icon));
    var text = el('span', '', b.text);
    text.id = 'box-text';
    message.appendChild(text);
    body.appendChild(message);
    if (b.notes) body.appendChild(el('div', 'notes', b.notes));
    w.appendChild(body);
    buttons(w, [['OK', 'box-ok', hide]]);
  }
  function showPrompt(p) {
    var w = windowOf(p.caption);
    w.id = 'prompt';
    var body = el('div', 'body');
    body.appendChild(el('div', 'message', p.text));
    w.appendChild(body);
    function answer(yes) { return function () { hide(); post('/answer?yes=' + yes).then(show); }; }
    buttons(w, [['Yes', 'prompt-yes', answer(1)], ['No', 'prompt-no', answer(0)]]);
  }
  // The controls are updated in place, so the focus and what the keyboard
  // is doing stay where they are; only a panel that changed its controls
  // is drawn anew, with the focus put back on the same control.
  function sameControl(a, b) {
    return a.tagName === b.tagName && a.getAttribute('data-id') === b.getAttribute('data-id');
  }
  function copyControl(to, from) {
    to.className = from.className;
    to.style.cssText = from.style.cssText;
    var a = to.querySelector('input') || to, b = from.querySelector('input') || from;
    a.disabled = b.disabled;
    if (a.type === 'checkbox') a.checked = b.checked;
    var text = to.querySelector('span') || to, fresh = from.querySelector('span') || from;
    if (text.textContent !== fresh.textContent) text.textContent = fresh.textContent;
  }
  function draw(html) {
    var fresh = document.createElement('div');
    fresh.innerHTML = html;
    var now = panel.children, next = fresh.children;
    var same = now.length === next.length;
    for (var i = 0; same && i < now.length; ++i) same = sameControl(now[i], next[i]);
    if (same) {
      for (var j = 0; j < now.length; ++j) copyControl(now[j], next[j]);
      return;
    }
    var focused = document.activeElement && document.activeElement.closest('[data-id]');
    panel.replaceChildren.apply(panel, Array.prototype.slice.call(fresh.childNodes));
    if (focused) focusControl(panel.querySelector('[data-id="' + focused.getAttribute('data-id') + '"]'));
  }
  function focusControl(control) {
    if (!control) return;
    var target = control.querySelector('input') || control;
    if (!target.disabled) target.focus();
  }
  function show(s) {
    if (s.html !== undefined) draw(s.html);
    if (s.prompt && s.prompt.seq > seen.prompt) {
      seen.prompt = s.prompt.seq;
      showPrompt(s.prompt);
    } else if (s.box && s.box.seq > seen.box) {
      seen.box = s.box.seq;
      showBox(s.box);
    } else if (s.progress) {
      showProgress(s.progress);
    } else if (document.getElementById('progress')) {
      hide();
    }
    if (s.running && !polling) {
      polling = true;
      setTimeout(function () { polling = false; post('/status').then(show); }, 250);
    }
  }
  // Enter presses the default button from any control, as in a dialog.
  panel.addEventListener('keydown', function (event) {
    if (event.key !== 'Enter' || event.repeat) return;
    var button = panel.querySelector('button.default');
    if (!button || button.disabled) return;
    event.preventDefault();
    button.click();
  });
  panel.addEventListener('click', function (event) {
    var target = event.target.closest('[data-id]');
    if (!target) return;
    event.preventDefault();
    if (target.classList.contains('off') || target.disabled) return;
    post('/click?ctl=' + target.getAttribute('data-id')).then(function (s) {
      if (s.message) showBox({ caption: '', icon: '!', text: s.message });
      show(s);
    });
  });
  // Asking now and then tells the proxy the panel is still shown.
  var beat = setInterval(function () {
    if (polling) return;
    post('/status').then(function (s) {
      if (s.message === undefined) return show(s);
      clearInterval(beat); // the panel is gone: say so once
      showBox({ caption: '', icon: '!', text: s.message });
    }).catch(function () {});
  }, 30000);
  focusControl(panel.querySelector('button.default'));
  post('/status').then(function (s) { seen.box = s.box ? s.box.seq : 0; show(s); });
})();
)";

} // namespace

std::string PanelDocument(const PanelDocumentParts& parts) {
    std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                       "<meta name=\"referrer\" content=\"no-referrer\"><style nonce=\"" +
                       parts.nonce + "\">" + kStyle + "</style></head><body data-key=\"" +
                       HtmlEscape(parts.key) + "\">";
    if (!parts.error.empty()) {
        return html + "<p class=\"error\">" + HtmlEscape(parts.error) + "</p></body></html>\n";
    }
    html += "<div id=\"panel\" style=\"width:" + std::to_string(parts.width) +
            "px;height:" + std::to_string(parts.height) + "px\">" + parts.controls +
            "</div><div id=\"veil\"></div><script nonce=\"" + parts.nonce + "\">" + kScript +
            "</script></body></html>\n";
    return html;
}
