// Dumps what pst-extractor (npm) reads of a .pst as JSON on stdout:
//   {"folders": [{"path": [names from the root], "error": null|text,
//                 "messages": [{subject, senderName, senderEmail, submitTime,
//                   recipients: [[type, name, address]], body, bodyHtml,
//                   headers, attachments: [{name, length, sha256} |
//                                          {name, embedded: subject}]}]}]}
//
//   node pstx_reader.js [--no-recipients] FILE.pst
// NODE_PATH must reach the pst-extractor package. --no-recipients leaves
// recipient tables alone: pst-extractor walks them in quadratic time.
'use strict';
const crypto = require('crypto');
const { PSTFile } = require('pst-extractor');

// pst-extractor logs the messages it skips on stdout; the JSON owns stdout.
console.log = console.error;

const args = process.argv.slice(2);
const withRecipients = !args.includes('--no-recipients');
const file = args.filter((a) => !a.startsWith('--'))[0];

function attachment(att) {
  const name = att.longFilename || att.filename || att.displayName;
  if (att.attachMethod === 5) {
    const inner = att.embeddedPSTMessage;
    return { name, embedded: inner ? inner.subject : null };
  }
  const stream = att.fileInputStream;
  const hash = crypto.createHash('sha256');
  let length = 0;
  if (stream) {
    // Read exactly the stream's length: at its end readBlock does not
    // reliably report end of data.
    const total = stream.length.toNumber();
    const buf = Buffer.alloc(1 << 20);
    while (length < total) {
      const n = stream.read(buf.subarray(0, Math.min(buf.length, total - length)));
      if (n <= 0) break;
      hash.update(buf.subarray(0, n));
      length += n;
    }
  }
  return { name, length, sha256: hash.digest('hex') };
}

function message(m) {
  const out = {
    subject: m.subject,
    senderName: m.senderName,
    senderEmail: m.senderEmailAddress,
    submitTime: m.clientSubmitTime ? m.clientSubmitTime.toISOString() : null,
    body: m.body || null,
    bodyHtml: m.bodyHTML || null,
    headers: m.transportMessageHeaders || null,
    recipients: null,
    attachments: [],
  };
  if (withRecipients) {
    out.recipients = [];
    for (let i = 0; i < m.numberOfRecipients; i++) {
      const r = m.getRecipient(i);
      if (r) out.recipients.push([r.recipientType, r.displayName, r.smtpAddress || r.emailAddress]);
    }
  }
  for (let i = 0; i < m.numberOfAttachments; i++) out.attachments.push(attachment(m.getAttachment(i)));
  return out;
}

const folders = [];
function walk(folder, path) {
  const entry = { path, error: null, messages: [] };
  folders.push(entry);
  // One folder that does not read (the spam search folder, say) must not
  // hide the others.
  try {
    if (folder.contentCount > 0) {
      for (let child = folder.getNextChild(); child; child = folder.getNextChild()) {
        entry.messages.push(message(child));
      }
    }
  } catch (e) {
    entry.error = String(e && e.message ? e.message : e);
  }
  let subs = [];
  try {
    if (folder.hasSubfolders) subs = folder.getSubFolders();
  } catch (e) {
    entry.error = (entry.error ? entry.error + '; ' : '') + String(e && e.message ? e.message : e);
  }
  for (const sub of subs) walk(sub, path.concat([sub.displayName]));
}

const pst = new PSTFile(file);
walk(pst.getRootFolder(), []);
process.stdout.write(JSON.stringify({ folders }));
