// A real Flash player under remote control: serves a folder on 127.0.0.1, opens one of its pages in
// headless chromium with Ruffle's script added to the page (Ruffle then replaces its <object>), and
// answers one command a line on standard input, one line each ("ok ..." or "error ..."):
//   shot <file.png>   the player's picture, saved to the file
//   click <x> <y>     a click at pixels from the player's top left corner
//
//   node player.cjs <folder with playwright-core and @ruffle-rs/ruffle> <served folder> <page> [<width>x<height>]
//
// The browser's viewport is 1024x768 unless given (a larger movie needs a larger one).
// Its first line says "ok <width> <height> <frames>" once the movie has loaded. Chromium may start
// audio without a gesture: a movie with stream sound holds its timeline until audio may start.
const fs = require("fs");
const http = require("http");
const os = require("os");
const path = require("path");
const readline = require("readline");

const [modules, served, page, viewportSize = "1024x768"] = process.argv.slice(2);
const viewport = /^([1-9][0-9]*)x([1-9][0-9]*)$/.exec(viewportSize);
if (!viewport) {
  console.log(`error viewport ${viewportSize} is not <width>x<height>`);
  process.exit(1);
}
const { chromium } = require(path.join(modules, "playwright-core"));
const ruffleFolder = path.join(modules, "@ruffle-rs", "ruffle");
const types = { ".htm": "text/html", ".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm",
                ".swf": "application/x-shockwave-flash" };
// Ruffle's own WebGL renderer: its default one, through wgpu, finds chromium's software adapter and then
// lays a "hardware acceleration is disabled" notice over the player on the first mouse-over, which
// takes the first click.
const ruffleScript = '<script>window.RufflePlayer = {config: {autoplay: "on", unmuteOverlay: "hidden", ' +
                     'splashScreen: false, letterbox: "off", contextMenu: "off", preferredRenderer: "webgl"}};' +
                     '</script>' +
                     '<script src="/ruffle/ruffle.js"></script>';

function serve(request, response) {
  const name = decodeURIComponent(new URL(request.url, "http://127.0.0.1").pathname);
  const [root, relative] = name.startsWith("/ruffle/") ? [ruffleFolder, name.slice(8)] : [served, name];
  const file = path.join(root, path.normalize(relative).replace(/^(\.\.[/\\])+/, ""));
  fs.readFile(file, (error, bytes) => {
    if (error) return response.writeHead(404).end();
    const type = types[path.extname(file).toLowerCase()] || "application/octet-stream";
    if (type === "text/html") {
      bytes = Buffer.from(bytes.toString("latin1").replace(/<head>/i, (head) => head + ruffleScript), "latin1");
    }
    response.writeHead(200, { "Content-Type": type }).end(bytes);
  });
}

async function main() {
  const server = http.createServer(serve);
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "player-"));
  const browser = await chromium.launchPersistentContext(profile, {
    executablePath: "/usr/bin/chromium", headless: true,
    viewport: { width: Number(viewport[1]), height: Number(viewport[2]) }, deviceScaleFactor: 1,
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
           "--disable-component-update", "--disable-sync", "--autoplay-policy=no-user-gesture-required"] });
  try {
    const tab = browser.pages()[0] || await browser.newPage();
    await tab.goto(`http://127.0.0.1:${server.address().port}/${encodeURIComponent(page)}`);
    const player = tab.locator("ruffle-object, ruffle-embed, ruffle-player").first();
    const handle = await player.elementHandle({ timeout: 20000 });
    await tab.waitForFunction((element) => element.ruffle().metadata, handle, { timeout: 20000 });
    const movie = await handle.evaluate((element) => element.ruffle().metadata);
    const box = await player.boundingBox();
    console.log(`ok ${Math.round(box.width)} ${Math.round(box.height)} ${movie.numFrames}`);
    for await (const line of readline.createInterface({ input: process.stdin })) {
      const [command, ...words] = line.trim().split(/\s+/);
      try {
        if (command === "shot") {
          await tab.screenshot({ path: words[0], clip: box });
        } else if (command === "click") {
          await tab.mouse.click(box.x + Number(words[0]), box.y + Number(words[1]));
        } else {
          throw new Error(`unknown command ${command}`);
        }
        console.log("ok");
      } catch (error) {
        console.log(`error ${error.message.split("\n")[0]}`);
      }
    }
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.log(`error ${error.message.split("\n")[0]}`);
  process.exit(1);
});
