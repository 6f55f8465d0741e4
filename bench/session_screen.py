"""A working session on a 1280x720 screen, drawn frame by frame at 10 fps: a panel with a clock
that ticks, four terminals (an editor and builds, a shell, top, a log that grows) whose text is
drawn with DejaVu Sans Mono cell by cell as a terminal draws it, a mouse pointer that moves between
them, and moments where the person only reads. The same count gives the same frames, byte for byte.

    for picture in session_frames(3200): ...   # each frame as RGB24 bytes, top row first
"""

import heapq
import random

from PIL import Image, ImageDraw, ImageFont

WIDTH, HEIGHT, RATE = 1280, 720, 10
FONTS = "/usr/share/fonts/truetype/dejavu/"
CELL_WIDTH, CELL_HEIGHT, PAD = 8, 17, 4
TITLE_HEIGHT, PANEL_HEIGHT = 22, 24
START = 14 * 3600 + 2 * 60 + 41  # the clock's time at frame 0

BACKGROUND = (30, 30, 30)
TEXT, DIM, BOLD = (211, 215, 207), (136, 138, 133), (238, 238, 236)
GREEN, BLUE, YELLOW = (138, 226, 52), (114, 159, 207), (252, 233, 79)
RED, CYAN, MAGENTA = (239, 41, 41), (52, 226, 226), (173, 127, 168)


def seconds(value):
    return int(value * RATE)


class Glyphs:
    """Cells drawn once per character and colours, then pasted: text lands on a grid of 8x17 cells."""

    def __init__(self):
        self.fonts = {False: ImageFont.truetype(FONTS + "DejaVuSansMono.ttf", 13),
                      True: ImageFont.truetype(FONTS + "DejaVuSansMono-Bold.ttf", 13)}
        self.cells = {}

    def cell(self, char, fg, bg, bold):
        key = (char, fg, bg, bold)
        tile = self.cells.get(key)
        if tile is None:
            tile = Image.new("RGB", (CELL_WIDTH, CELL_HEIGHT), bg)
            if char != " ":
                ImageDraw.Draw(tile).text((0, 0), char, font=self.fonts[bold], fill=fg)
            self.cells[key] = tile
        return tile


class Terminal:
    """A grid of cells in a window; each cell holds (character, colour, bold, reverse). Only cells
    that differ from what is drawn are drawn again, and a scroll moves the picture as a terminal does."""

    def __init__(self, glyphs, x, y, width, height, title):
        self.glyphs = glyphs
        self.x, self.y, self.width, self.height, self.title = x, y, width, height, title
        self.cols = (width - 2 * PAD) // CELL_WIDTH
        self.rows = (height - TITLE_HEIGHT - 2 * PAD) // CELL_HEIGHT
        self.image = Image.new("RGB", (width, height - TITLE_HEIGHT), BACKGROUND)
        self.blank = (" ", TEXT, False, False)
        self.grid = [[self.blank] * self.cols for _ in range(self.rows)]
        self.drawn = [[self.blank] * self.cols for _ in range(self.rows)]
        self.row = self.col = 0
        self.focused = False
        self.cursor_shown = True
        self.blink_hidden = False
        self.writes = 0
        self.dirty = True
        self.saved = None

    # Drawing.
    def paint(self):
        """Draws the cells that changed, the cursor among them; True when anything was drawn."""
        shown = [row[:] for row in self.grid]
        if self.cursor_shown and not self.blink_hidden and self.row < self.rows and self.col < self.cols:
            char, fg, bold, _ = shown[self.row][self.col]
            shown[self.row][self.col] = (char, fg, bold, "block" if self.focused else "box")
        changed = False
        for r in range(self.rows):
            if shown[r] == self.drawn[r]:
                continue
            for c in range(self.cols):
                cell = shown[r][c]
                if cell != self.drawn[r][c]:
                    self.draw_cell(r, c, cell)
                    changed = True
            self.drawn[r] = shown[r]
        changed |= self.dirty
        self.dirty = False
        return changed

    def draw_cell(self, r, c, cell):
        char, fg, bold, reverse = cell
        left, top = PAD + c * CELL_WIDTH, PAD + r * CELL_HEIGHT
        # The cursor is a block in the focused terminal and a hollow box elsewhere.
        if reverse == "block":
            tile = self.glyphs.cell(char, BACKGROUND, TEXT, bold)
        elif reverse is True:
            tile = self.glyphs.cell(char, BACKGROUND, fg, bold)
        else:
            tile = self.glyphs.cell(char, fg, BACKGROUND, bold)
        self.image.paste(tile, (left, top))
        if reverse == "box":
            ImageDraw.Draw(self.image).rectangle((left, top, left + CELL_WIDTH - 1, top + CELL_HEIGHT - 1),
                                                 outline=TEXT)

    def scroll(self, top=0, bottom=None, lines=1):
        """Moves rows top+lines..bottom up by `lines`, the picture with them; blank rows come in below."""
        bottom = self.rows if bottom is None else bottom
        lines = min(lines, bottom - top)
        self.paint()
        if lines < bottom - top:
            box = (0, PAD + (top + lines) * CELL_HEIGHT, self.image.width, PAD + bottom * CELL_HEIGHT)
            self.image.paste(self.image.crop(box), (0, PAD + top * CELL_HEIGHT))
        moved = self.drawn[top + lines:bottom]
        self.drawn[top:bottom] = moved + [[("\0",)] * self.cols for _ in range(lines)]
        self.grid[top:bottom] = self.grid[top + lines:bottom] + [[self.blank] * self.cols for _ in range(lines)]
        self.dirty = True

    def scroll_down(self, top, bottom, lines=1):
        """Moves rows top..bottom-lines down by `lines` (an editor opening a line)."""
        self.paint()
        box = (0, PAD + top * CELL_HEIGHT, self.image.width, PAD + (bottom - lines) * CELL_HEIGHT)
        self.image.paste(self.image.crop(box), (0, PAD + (top + lines) * CELL_HEIGHT))
        self.drawn[top:bottom] = [[("\0",)] * self.cols for _ in range(lines)] + self.drawn[top:bottom - lines]
        self.grid[top:bottom] = [[self.blank] * self.cols for _ in range(lines)] + self.grid[top:bottom - lines]
        self.dirty = True

    # Writing, as a program's output reaches a terminal.
    def write(self, text, fg=TEXT, bold=False, reverse=False):
        self.writes += 1
        for char in text:
            if char == "\n":
                self.newline()
                continue
            if self.col >= self.cols:
                self.newline()
            self.grid[self.row][self.col] = (char, fg, bold, reverse)
            self.col += 1

    def newline(self):
        self.col = 0
        self.row += 1
        if self.row >= self.rows:
            self.scroll()
            self.row = self.rows - 1

    def line(self, *parts):
        """One line of output: pairs of text and colour (a colour may be (colour, bold))."""
        for text, style in zip(parts[::2], parts[1::2]):
            fg, bold = style if isinstance(style, tuple) and len(style) == 2 else (style, False)
            self.write(text, fg, bold)
        self.newline()

    def set_row(self, r, text, fg=TEXT, bold=False, reverse=False):
        self.writes += 1
        text = text[:self.cols].ljust(self.cols)
        self.grid[r] = [(char, fg, bold, reverse) for char in text]

    def set_cells(self, r, c, text, fg=TEXT, bold=False, reverse=False):
        self.writes += 1
        for i, char in enumerate(text):
            if c + i < self.cols:
                self.grid[r][c + i] = (char, fg, bold, reverse)

    def clear(self):
        self.grid = [[self.blank] * self.cols for _ in range(self.rows)]
        self.row = self.col = 0

    def save_screen(self):
        """The alternate screen of full-screen programs: the shell's screen comes back when they end."""
        self.saved = ([row[:] for row in self.grid], self.row, self.col)

    def restore_screen(self):
        grid, self.row, self.col = self.saved
        self.grid = [row[:] for row in grid]


class Screen:
    def __init__(self):
        self.glyphs = Glyphs()
        self.ui_font = ImageFont.truetype(FONTS + "DejaVuSans.ttf", 12)
        self.ui_bold = ImageFont.truetype(FONTS + "DejaVuSans-Bold.ttf", 12)
        self.image = Image.new("RGB", (WIDTH, HEIGHT))
        draw = ImageDraw.Draw(self.image)
        for y in range(HEIGHT):
            t = y / HEIGHT
            draw.line((0, y, WIDTH, y), fill=(int(44 + 30 * t), int(62 + 20 * t), int(80 + 12 * t)))
        draw.rectangle((0, 0, WIDTH - 1, PANEL_HEIGHT - 1), fill=(24, 24, 24))
        draw.text((10, 5), "Activities", font=self.ui_font, fill=(230, 230, 230))
        draw.text((100, 5), "Terminal", font=self.ui_font, fill=(190, 190, 190))
        for i, colour in enumerate(((200, 200, 200), (120, 200, 120), (200, 200, 200))):
            draw.rectangle((1190 + 24 * i, 7, 1202 + 24 * i, 17), outline=colour)
        self.editor = Terminal(self.glyphs, 8, 32, 640, 446, "dev@work: ~/src/viewer")
        self.shell = Terminal(self.glyphs, 8, 486, 640, 226, "dev@work: ~/src/viewer")
        self.top = Terminal(self.glyphs, 656, 32, 616, 330, "top")
        self.log = Terminal(self.glyphs, 656, 370, 616, 342, "dev@work: /var/log/viewer")
        self.terminals = (self.editor, self.shell, self.top, self.log)
        self.clock = None
        self.pointer = (900.0, 300.0)
        for terminal in self.terminals:
            self.frame_window(terminal)

    def frame_window(self, terminal):
        draw = ImageDraw.Draw(self.image)
        x, y, w = terminal.x, terminal.y, terminal.width
        active = terminal.focused
        draw.rectangle((x - 1, y - 1, x + w, y + terminal.height), outline=(12, 12, 12))
        draw.rectangle((x, y, x + w - 1, y + TITLE_HEIGHT - 1), fill=(56, 56, 56) if active else (40, 40, 40))
        font = self.ui_bold if active else self.ui_font
        width = draw.textlength(terminal.title, font=font)
        draw.text((x + (w - width) / 2, y + 4), terminal.title, font=font,
                  fill=(240, 240, 240) if active else (150, 150, 150))
        for i in range(3):
            draw.ellipse((x + w - 20 - 18 * i, y + 6, x + w - 10 - 18 * i, y + 16),
                         fill=((230, 90, 60) if i == 0 else (110, 110, 110)) if active else (80, 80, 80))

    def focus(self, terminal):
        for other in self.terminals:
            if other.focused != (other is terminal):
                other.focused = other is terminal
                self.frame_window(other)

    def tick(self, frame):
        now = START + frame // RATE
        text = "Tue 14 May  %02d:%02d:%02d" % (now // 3600 % 24, now // 60 % 60, now % 60)
        if text != self.clock:
            self.clock = text
            draw = ImageDraw.Draw(self.image)
            draw.rectangle((560, 0, 720, PANEL_HEIGHT - 1), fill=(24, 24, 24))
            draw.text((640 - draw.textlength(text, font=self.ui_bold) / 2, 5), text, font=self.ui_bold,
                      fill=(240, 240, 240))

    def picture(self):
        for terminal in self.terminals:
            if terminal.paint():
                self.image.paste(terminal.image, (terminal.x, terminal.y + TITLE_HEIGHT))
        shown = self.image.copy()
        x, y = int(round(self.pointer[0])), int(round(self.pointer[1]))
        arrow = [(0, 0), (0, 16), (4, 12), (7, 19), (10, 18), (7, 11), (12, 11)]
        ImageDraw.Draw(shown).polygon([(x + a, y + b) for a, b in arrow], fill=(255, 255, 255), outline=(0, 0, 0))
        return shown.tobytes()


# What is written: deterministic text that reads like a developer's day.
MODULES = ["parser", "lexer", "render", "layout", "cache", "http_client", "config", "image_decode", "font_table",
           "scroll_view", "text_run", "event_loop", "timer", "settings", "clipboard", "undo_stack", "document",
           "selection", "search", "export_pdf", "thumbnail", "history", "bookmarks", "net_pool", "zip_reader"]
WORDS = ["count", "offset", "length", "buffer", "index", "width", "height", "node", "item", "state", "result",
         "cursor", "entry", "limit", "flags", "scale", "origin", "source", "target", "line"]
TYPES = ["int", "size_t", "uint32_t", "bool", "double", "const char*", "struct node*"]
PROCESSES = [("dev", "chromium", 9.0), ("dev", "Xorg", 4.0), ("dev", "gnome-shell", 3.5), ("root", "dockerd", 0.8),
             ("dev", "cc1plus", 0.0), ("dev", "node", 1.5), ("root", "systemd-journal", 0.3),
             ("dev", "pipewire", 0.7), ("dev", "code", 2.5), ("root", "containerd", 0.4), ("dev", "bash", 0.1),
             ("dev", "ssh-agent", 0.0), ("postgres", "postgres", 1.2), ("dev", "viewer", 2.0),
             ("root", "kworker/u16:2", 0.5), ("dev", "python3", 0.9), ("root", "snapd", 0.2),
             ("dev", "evolution", 0.3), ("dev", "slack", 1.8), ("root", "NetworkManager", 0.1),
             ("dev", "tracker-miner", 0.6), ("root", "irq/134-nvme", 0.2), ("dev", "make", 0.0),
             ("dev", "ld", 0.0), ("dev", "top", 0.4)]


class Session:
    """The screen and the actors that change it: each actor is a generator that changes the screen and
    then yields how many frames it waits."""

    def __init__(self):
        self.screen = Screen()
        self.frame = 0
        self.queue = []
        self.order = 0
        self.building = False
        self.blink_writes, self.blink_start = {}, {}
        self.start(self.clock_actor())
        self.screen.top.cursor_shown = False
        self.start(self.top_actor(random.Random(2)))
        self.start(self.log_actor(random.Random(3)))
        self.start(self.person_actor(random.Random(4)))
        self.prompt(self.screen.shell)
        self.prompt(self.screen.editor)
        self.screen.tick(0)

    def start(self, actor, delay=0):
        heapq.heappush(self.queue, (self.frame + delay, self.order, actor))
        self.order += 1

    def step(self):
        while self.queue and self.queue[0][0] <= self.frame:
            _, _, actor = heapq.heappop(self.queue)
            wait = next(actor, None)
            if wait is not None:
                self.start(actor, max(1, wait))
        # The focused terminal's cursor blinks, 0.6 s on and 0.6 s off, and shows again on each write.
        for term in self.screen.terminals:
            if term.writes != self.blink_writes.get(term):
                self.blink_writes[term] = term.writes
                self.blink_start[term] = self.frame
            term.blink_hidden = term.focused and (self.frame - self.blink_start[term]) // 6 % 2 == 1
        picture = self.screen.picture()
        self.frame += 1
        return picture

    def now(self):
        return START + self.frame // RATE

    def stamp(self, rng):
        now = self.now()
        millis = self.frame % RATE * 100 + rng.randrange(100)
        return "%02d:%02d:%02d.%03d" % (now // 3600 % 24, now // 60 % 60, now % 60, millis)

    # The background: clock, top, a service's log.
    def clock_actor(self):
        while True:
            self.screen.tick(self.frame)
            yield RATE - self.frame % RATE

    def top_actor(self, rng):
        term = self.screen.top
        pids = {name: 400 + rng.randrange(30000) for _, name, _ in PROCESSES}
        times = {name: rng.uniform(0, 4000) for _, name, _ in PROCESSES}
        memory = 5234.7
        while True:
            now = self.now()
            cpus = {}
            for user, name, base in PROCESSES:
                cpus[name] = max(0.0, base * rng.uniform(0.2, 1.9) + (rng.random() < 0.2) * rng.uniform(0, 3))
                if name in ("cc1plus", "ld"):
                    cpus[name] = rng.uniform(60, 99) if self.building else 0.0
                times[name] += cpus[name] * 3 / 100
            total = min(99.9, sum(cpus.values()) / 8)
            memory += rng.uniform(-20, 25)
            load = [max(0.05, total / 25 + rng.uniform(-0.1, 0.2)) for _ in range(3)]
            rows = [
                ("top - %02d:%02d:%02d up 3 days,  4:17,  2 users,  load average: %.2f, %.2f, %.2f"
                 % (now // 3600 % 24, now // 60 % 60, now % 60, *load), TEXT),
                ("Tasks: %3d total,   %d running, %3d sleeping,   0 stopped,   0 zombie"
                 % (287 + rng.randrange(6), 1 + rng.randrange(3), 283 + rng.randrange(5)), TEXT),
                ("%%Cpu(s): %4.1f us,  %3.1f sy,  0.0 ni, %4.1f id,  %3.1f wa,  0.0 hi,  %3.1f si"
                 % (total * 0.8, total * 0.2, 100 - total, rng.uniform(0, 1.5), rng.uniform(0, 0.4)), TEXT),
                ("MiB Mem :  15896.4 total,   %6.1f free,   %6.1f used,   %6.1f buff/cache"
                 % (15896.4 - memory - 3920.1, memory, 3920.1 + rng.uniform(-3, 3)), TEXT),
                ("MiB Swap:   2048.0 total,   2048.0 free,      0.0 used.  %6.1f avail Mem"
                 % (15896.4 - memory), TEXT),
                ("", TEXT)]
            for r, (text, fg) in enumerate(rows):
                term.set_row(r, text, fg)
            term.set_row(6, "    PID USER      PR  NI    VIRT    RES    SHR S  %CPU  %MEM     TIME+ COMMAND",
                         TEXT, False, True)
            shown = sorted(PROCESSES, key=lambda p: -cpus[p[1]])[:term.rows - 7]
            for r, (user, name, _) in enumerate(shown):
                t = times[name]
                text = "%7d %-8s  20   0 %7d %6d %6d %s %5.1f %5.1f %5d:%05.2f %s" % (
                    pids[name], user, 100000 + (pids[name] * 37) % 3900000, 5000 + (pids[name] * 13) % 900000,
                    3000 + (pids[name] * 7) % 90000, "R" if cpus[name] > 20 else "S", cpus[name],
                    (pids[name] % 97) / 10, int(t // 60), t % 60, name)
                term.set_row(7 + r, text, BOLD if cpus[name] > 20 else TEXT)
            yield RATE

    def log_actor(self, rng):
        term = self.screen.log
        term.cursor_shown = False
        term.write("dev@work", GREEN, True)
        term.write(":")
        term.write("/var/log/viewer", BLUE, True)
        term.write("$ tail -f service.log\n")
        paths = ["/api/items/%d", "/api/users/%d/profile", "/static/app.%x.js", "/api/search?q=%d",
                 "/healthz", "/api/items/%d/thumbnail", "/api/session/%d"]
        while True:
            burst = rng.random() < 0.08
            for _ in range(rng.randint(6, 18) if burst else 1):
                level = rng.choices(["INFO ", "DEBUG", "WARN ", "ERROR"], [70, 20, 8, 2])[0]
                colour = {"INFO ": TEXT, "DEBUG": DIM, "WARN ": YELLOW, "ERROR": RED}[level]
                worker = "[worker-%d]" % rng.randrange(8)
                if rng.random() < 0.8:
                    method = rng.choice(["GET", "GET", "GET", "POST", "PUT"])
                    path = rng.choice(paths)
                    path = path % rng.randrange(1, 99999) if "%" in path else path
                    status = rng.choices([200, 304, 201, 404, 500], [70, 15, 8, 5, 2])[0]
                    text = "%s %d %dms" % (method + " " + path, status, rng.randrange(1, 400))
                else:
                    text = rng.choice(["cache: evicted %d entries" % rng.randrange(1, 500),
                                       "pool: %d/%d connections busy" % (rng.randrange(1, 32), 32),
                                       "scheduler: job thumbnails.%d done in %.2fs" % (rng.randrange(999),
                                                                                        rng.uniform(0.1, 9)),
                                       "gc: pause %.1fms, heap %dMB" % (rng.uniform(0.2, 30), rng.randrange(200, 900))])
                term.line(self.stamp(rng) + " ", DIM, level, colour, " " + worker + " ", CYAN, text, TEXT)
                if burst:
                    yield rng.randint(1, 2)
            yield int(rng.expovariate(1 / 0.9) * RATE) + 1

    # The person at the keyboard.
    def prompt(self, term):
        term.write("dev@work", GREEN, True)
        term.write(":")
        term.write("~/src/viewer", BLUE, True)
        term.write("$ ")

    def move(self, rng, target, frames=None):
        x0, y0 = self.screen.pointer
        x1, y1 = target
        distance = ((x1 - x0) ** 2 + (y1 - y0) ** 2) ** 0.5
        frames = frames or max(3, int(distance / 90))
        bend = rng.uniform(-0.15, 0.15)
        for i in range(1, frames + 1):
            t = i / frames
            t = t * t * (3 - 2 * t)
            bx, by = -(y1 - y0) * bend * 4 * t * (1 - t), (x1 - x0) * bend * 4 * t * (1 - t)
            self.screen.pointer = (x0 + (x1 - x0) * t + bx, y0 + (y1 - y0) * t + by)
            yield 1

    def click(self, rng, term):
        target = (term.x + rng.uniform(0.2, 0.8) * term.width, term.y + TITLE_HEIGHT + rng.uniform(0.2, 0.8)
                  * (term.height - TITLE_HEIGHT))
        yield from self.move(rng, target)
        yield rng.randint(2, 4)
        self.screen.focus(term)
        yield rng.randint(2, 6)

    def wander(self, rng, frames):
        """The hand on the mouse while reading: small moves and rests."""
        end = self.frame + frames
        while self.frame < end:
            if rng.random() < 0.7:
                x, y = self.screen.pointer
                target = (min(WIDTH - 20, max(20, x + rng.uniform(-150, 150))),
                          min(HEIGHT - 30, max(40, y + rng.uniform(-100, 100))))
                yield from self.move(rng, target, rng.randint(3, 10))
            yield min(max(1, end - self.frame), rng.randint(3, 15))

    def type(self, rng, term, text, enter=True):
        for char in text:
            term.write(char)
            yield rng.choice([1, 1, 1, 2, 2, 3]) + (rng.random() < 0.08) * rng.randint(3, 12)
        if enter:
            yield rng.randint(2, 6)
            term.newline()

    def output(self, rng, term, lines, per_frame=(1, 3)):
        """A command's output: a few lines a frame, as a program writes it."""
        i = 0
        while i < len(lines):
            for line in lines[i:i + rng.randint(*per_frame)]:
                term.line(*line)
                i += 1
            yield 1

    def command(self, rng, term, text, lines, per_frame=(1, 3)):
        yield from self.type(rng, term, text)
        yield rng.randint(1, 4)
        yield from self.output(rng, term, lines, per_frame)
        self.prompt(term)
        yield 1

    def person_actor(self, rng):
        s = self.screen
        yield from self.wander(rng, seconds(3))
        yield from self.click(rng, s.shell)
        yield from self.command(rng, s.shell, "git status", self.git_status(rng))
        yield from self.wander(rng, seconds(3))
        yield from self.command(rng, s.shell, "git log --oneline -12", self.git_log(rng, 12))
        yield from self.wander(rng, seconds(5))
        yield from self.command(rng, s.shell, "ls -la src", self.listing(rng, 18))
        yield from self.wander(rng, seconds(2))
        yield from self.click(rng, s.editor)
        yield from self.edit(rng, "src/parser.c", seconds(48))
        yield from self.type(rng, s.editor, "make -j8")
        self.start(self.build_actor(random.Random(5), 120))
        yield from self.wander(rng, seconds(2))
        yield from self.move(rng, (s.log.x + 300, s.log.y + 200))
        yield from self.wander(rng, seconds(14))
        yield from self.click(rng, s.shell)
        yield from self.command(rng, s.shell, "git diff --stat", self.diff_stat(rng))
        yield from self.wander(rng, seconds(4))
        yield from self.command(rng, s.shell, "grep -rn \"cursor\" src | head -20", self.grep(rng, 20))
        yield from self.wander(rng, seconds(20))
        while self.building:
            yield from self.wander(rng, RATE)
        yield from self.wander(rng, seconds(2))
        yield from self.command(rng, s.shell, "./build/tests/run_all", self.tests(rng, 90), (2, 5))
        yield from self.wander(rng, seconds(19))
        yield from self.click(rng, s.editor)
        yield from self.edit(rng, "src/layout.c", seconds(35))
        yield from self.type(rng, s.editor, "make -j8")
        self.start(self.build_actor(random.Random(6), 40))
        yield from self.click(rng, s.shell)
        while self.building:
            yield from self.wander(rng, RATE)
        yield from self.command(rng, s.shell, "./build/tests/run_all", self.tests(rng, 90), (2, 5))
        yield from self.wander(rng, seconds(4))
        yield from self.command(rng, s.shell, "git add -u && git commit -m \"Layout keeps the cursor in view\"",
                                [("[main 3f2a9c1] Layout keeps the cursor in view", TEXT),
                                 (" 2 files changed, 31 insertions(+), 9 deletions(-)", TEXT)])
        yield from self.wander(rng, seconds(3))
        yield from self.command(rng, s.shell, "git push", self.push(rng), (1, 1))
        while True:
            yield from self.wander(rng, seconds(8))
            yield seconds(rng.uniform(4, 12))

    # Programs.
    def git_status(self, rng):
        lines = [("On branch main", TEXT), ("Your branch is up to date with 'origin/main'.", TEXT), ("", TEXT),
                 ("Changes not staged for commit:", TEXT),
                 ('  (use "git add <file>..." to update what will be committed)', TEXT)]
        for name in rng.sample(MODULES, 4):
            lines.append(("\tmodified:   src/%s.c" % name, RED))
        lines += [("", TEXT), ("Untracked files:", TEXT), ("\tnotes.txt".replace("\t", "        "), RED), ("", TEXT)]
        return [(text.replace("\t", "        "), fg) for text, fg in lines]

    def git_log(self, rng, count):
        verbs = ["Fix", "Add", "Speed up", "Simplify", "Handle", "Remove", "Test", "Document"]
        return [("%07x" % rng.randrange(1 << 28) + " ", YELLOW, "%s %s %s" % (rng.choice(verbs), rng.choice(MODULES),
                                                                               rng.choice(WORDS)), TEXT)
                for _ in range(count)]

    def listing(self, rng, count):
        lines = [("total %d" % rng.randrange(200, 900), TEXT)]
        for name in sorted(rng.sample(MODULES, count)):
            lines.append(("-rw-r--r-- 1 dev dev %6d May %2d %02d:%02d " % (
                rng.randrange(800, 60000), rng.randint(1, 14), rng.randrange(24), rng.randrange(60)), TEXT,
                name + ".c", TEXT))
        return lines

    def diff_stat(self, rng):
        lines = []
        for name in rng.sample(MODULES, 5):
            plus, minus = rng.randrange(1, 40), rng.randrange(0, 20)
            lines.append((" src/%-20s | %3d " % (name + ".c", plus + minus), TEXT, "+" * (plus // 2), GREEN,
                          "-" * (minus // 2), RED))
        lines.append((" 5 files changed, 93 insertions(+), 27 deletions(-)", TEXT))
        return lines

    def grep(self, rng, count):
        return [("src/%s.c" % rng.choice(MODULES), MAGENTA, ":", CYAN, "%d" % rng.randrange(10, 900), GREEN, ":", CYAN,
                 "    " + self.code(rng).strip()[:40], TEXT) for _ in range(count)]

    def tests(self, rng, count):
        lines = [("[==========] Running %d tests from %d test suites." % (count, count // 9), GREEN)]
        for _ in range(count):
            name = "%s.%s%s" % (rng.choice(MODULES).title().replace("_", ""), rng.choice(["Reads", "Keeps", "Ends",
                                "Skips", "Finds"]), rng.choice(WORDS).title())
            lines.append(("[ RUN      ] ", GREEN, name, TEXT))
            lines.append(("[       OK ] ", GREEN, "%s (%d ms)" % (name, rng.randrange(0, 40)), TEXT))
        lines.append(("[==========] %d tests ran. " % count, GREEN))
        lines.append(("[  PASSED  ] %d tests." % count, GREEN))
        return lines

    def push(self, rng):
        return [("Enumerating objects: 11, done.", TEXT), ("Counting objects: 100% (11/11), done.", TEXT),
                ("Delta compression using up to 8 threads", TEXT),
                ("Compressing objects: 100% (6/6), done.", TEXT),
                ("Writing objects: 100% (6/6), 1.21 KiB | 1.21 MiB/s, done.", TEXT),
                ("Total 6 (delta 5), reused 0 (delta 0), pack-reused 0", TEXT),
                ("To git.example.org:dev/viewer.git", TEXT), ("   9b81d20..3f2a9c1  main -> main", TEXT)]

    def code(self, rng):
        kind = rng.random()
        a, b = rng.sample(WORDS, 2)
        if kind < 0.3:
            return "    %s %s = %s->%s;" % (rng.choice(TYPES), a, b, rng.choice(WORDS))
        if kind < 0.5:
            return "    if (%s > %s) {" % (a, b)
        if kind < 0.6:
            return "        return %s_%s(%s, %s);" % (rng.choice(MODULES), rng.choice(WORDS), a, b)
        if kind < 0.7:
            return "    }"
        if kind < 0.8:
            return "    /* %s keeps the %s of the %s */" % (a, rng.choice(WORDS), b)
        if kind < 0.9:
            return ""
        return "    %s += %s * %d;" % (a, b, rng.randrange(2, 64))

    def edit(self, rng, name, frames):
        """An editor full screen: moves, inserts, deletes and saves; then its screen is gone."""
        term = self.screen.editor
        yield from self.type(rng, term, "vi " + name)
        term.save_screen()
        text = [self.code(rng) for _ in range(400)]
        top = rng.randrange(40, 200)
        rows = term.rows - 1
        line = top + rows // 2
        column = 4

        def draw_all():
            term.clear()
            for r in range(rows):
                term.set_row(r, "%4d %s" % (top + r + 1, text[top + r]), TEXT)
                term.set_cells(r, 0, "%4d" % (top + r + 1), YELLOW)
            status(None)

        def status(message):
            term.set_row(rows, message or '"%s" %dL' % (name, len(text)), BOLD if message else TEXT)
            term.set_cells(rows, term.cols - 18, "%d,%d" % (line + 1, column + 1))

        def put(r):
            term.set_row(r, "%4d %s" % (top + r + 1, text[top + r]), TEXT)
            term.set_cells(r, 0, "%4d" % (top + r + 1), YELLOW)

        def place():
            term.row, term.col = line - top, min(term.cols - 1, 5 + column)
            status(mode)

        mode = None
        draw_all()
        place()
        yield rng.randint(5, 15)
        end = self.frame + frames
        while self.frame < end:
            action = rng.random()
            if action < 0.35:
                # j or k a few times: the cursor walks, and the screen scrolls at its edges.
                step = rng.choice([1, 1, 1, -1])
                for _ in range(rng.randint(2, 12)):
                    line = max(0, min(len(text) - 1, line + step))
                    if line >= top + rows:
                        top += 1
                        term.scroll(0, rows)
                        put(rows - 1)
                    elif line < top:
                        top -= 1
                        term.scroll_down(0, rows)
                        put(0)
                    column = min(column, max(0, len(text[line]) - 1))
                    place()
                    yield rng.randint(1, 3)
            elif action < 0.55:
                # Insert a few words in the line.
                mode = "-- INSERT --"
                column = rng.randrange(0, max(1, len(text[line])))
                place()
                yield rng.randint(2, 5)
                for char in rng.choice([" && " + rng.choice(WORDS), ", " + rng.choice(WORDS), "_" + rng.choice(WORDS),
                                        " + 1", "->" + rng.choice(WORDS)]):
                    text[line] = text[line][:column] + char + text[line][column:]
                    column += 1
                    put(line - top)
                    place()
                    yield rng.choice([1, 1, 2, 2, 3])
                mode = None
                place()
            elif action < 0.68:
                # A new line below, typed out.
                mode = "-- INSERT --"
                text.insert(line + 1, "")
                line += 1
                column = 0
                if line - top < rows:
                    term.scroll_down(line - top, rows)
                    for r in range(line - top, rows):
                        put(r)
                else:
                    top += 1
                    term.scroll(0, rows)
                    put(rows - 1)
                place()
                new = self.code(rng)
                for char in new:
                    text[line] += char
                    column += 1
                    put(line - top)
                    place()
                    yield rng.choice([1, 1, 1, 2, 2, 4])
                mode = None
                place()
            elif action < 0.76:
                # dd: the line goes and those below move up.
                del text[line]
                term.scroll(line - top, rows)
                put(rows - 1)
                for r in range(line - top, rows):
                    put(r)
                place()
            elif action < 0.84:
                # x a few times.
                for _ in range(rng.randint(1, 5)):
                    if text[line]:
                        column = min(column, len(text[line]) - 1)
                        text[line] = text[line][:column] + text[line][column + 1:]
                        put(line - top)
                        place()
                    yield rng.randint(1, 3)
            elif action < 0.9:
                # :w
                for typed in (":", ":w"):
                    term.set_row(rows, typed)
                    yield rng.randint(2, 4)
                status('"%s" %dL written' % (name, len(text)))
                yield rng.randint(5, 15)
            else:
                # Reading, thinking.
                yield rng.randint(10, 60)
            yield rng.randint(1, 8)
        term.set_row(rows, ":wq")
        yield rng.randint(4, 8)
        term.restore_screen()
        self.prompt(term)
        yield 2

    def build_actor(self, rng, files):
        term = self.screen.editor
        self.building = True
        targets = rng.sample(MODULES, min(files, len(MODULES))) + [rng.choice(MODULES) + "_%d" % i
                                                                    for i in range(max(0, files - len(MODULES)))]
        for i, name in enumerate(targets):
            percent = int(100 * (i + 1) / (len(targets) + 2))
            term.line("[%3d%%] " % percent, GREEN, "Building C object src/CMakeFiles/viewer.dir/%s.c.o" % name, TEXT)
            if rng.random() < 0.1:
                number, column = rng.randrange(20, 900), rng.randrange(5, 30)
                word = rng.choice(WORDS)
                term.line("/home/dev/src/viewer/src/%s.c:%d:%d: " % (name, number, column), (BOLD, True),
                          "warning: ", (MAGENTA, True), "unused variable '%s' [-Wunused-variable]" % word, TEXT)
                term.line("%5d |     int %s = 0;" % (number, word), TEXT)
                term.line("      |         %s" % ("^" + "~" * (len(word) - 1)), GREEN)
            yield int(rng.uniform(0.1, 1.0) * RATE)
        term.line("[ 99%] ", GREEN, "Linking C executable viewer", (GREEN, True))
        yield seconds(2.5)
        term.line("[100%] Built target viewer", TEXT)
        self.prompt(term)
        self.building = False


def session_frames(count):
    session = Session()
    for _ in range(count):
        yield session.step()
