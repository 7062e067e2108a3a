-- frost
-- an ice puzzle in nine levels: the penguin slides until something stops
-- it. eat every fish, then slide into the hole. arrows slide, x undoes,
-- hold z to start the level again.

levels = 9
-- the fewest slides each level needs
pars = {3, 4, 6, 7, 8, 9, 10, 11, 13}

-- map tiles and sprites
t_rock = 1
t_fish = 2
t_snow = 3
t_hole = 4
t_start = 5
spr_open = 6
spr_ice = 7
spr_penguin = 16

snd_slide = 0
snd_bump = 1
snd_fish = 2
snd_open = 3
snd_win = 4
snd_undo = 5
snd_snow = 6
snd_restart = 7

top = 16 -- the level is drawn below the status bar
slide_speed = 2 -- pixels a frame
dirs = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}}

function _init()
  cartdata("vexel_frost")
  reached = mid(1, dget(0), levels)
  pick = reached
  frame = 0
  state = "title"
  flakes = {}
  for i = 1, 40 do
    add(flakes, {x = rnd(128), y = rnd(128), s = 0.2 + rnd(0.4)})
  end
  puffs = {}
  hold = 0
  wait = 0
  title_dots = text_dots("frost")
  music(0, 0, 7)
end

-- levels 1-8 lie side by side on the top of the map, 9 below the first
function start_level(n)
  level = n
  local mx = (n - 1) % 8 * 16
  local my = flr((n - 1) / 8) * 14
  grid = {}
  fish_left = 0
  for y = 0, 13 do
    grid[y] = {}
    for x = 0, 15 do
      local v = mget(mx + x, my + y)
      if v == t_start then
        px = x
        py = y
        v = 0
      end
      if v == t_fish then fish_left = fish_left + 1 end
      grid[y][x] = v
    end
  end
  fish_total = fish_left
  -- rocks next to the floor are drawn as walls, the rest as the night
  edge = {}
  for y = 0, 13 do
    edge[y] = {}
    for x = 0, 15 do edge[y][x] = grid[y][x] == t_rock and edge_rock(x, y) end
  end
  moves = 0
  history = {}
  facing = 4
  sx = px * 8
  sy = py * 8
  path = nil
  puffs = {}
  hold = 0
  state = "play"
  wait = 0
end

function cell(x, y)
  if x < 0 or x > 15 or y < 0 or y > 13 then return t_rock end
  return grid[y][x]
end

-- the hole stays shut while fish are left
function blocks(x, y, left)
  local v = cell(x, y)
  return v == t_rock or v == t_hole and left > 0
end

-- the cells a slide passes through, ending where it stops; eating the
-- last fish on the way opens the hole for the rest of the same slide
function slide_path(d)
  local x = px
  local y = py
  local left = fish_left
  local cells = {}
  while not blocks(x + d[1], y + d[2], left) do
    x = x + d[1]
    y = y + d[2]
    add(cells, {x = x, y = y})
    local v = cell(x, y)
    if v == t_fish then left = left - 1 end
    if v == t_snow or v == t_hole then break end
  end
  return cells
end

function try_slide(i)
  facing = i
  local cells = slide_path(dirs[i])
  if #cells == 0 then
    sfx(snd_bump)
    nudge = 4
    return
  end
  add(history, {x = px, y = py, eaten = {}})
  moves = moves + 1
  path = cells
  step = 1
  sfx(snd_slide)
end

function undo()
  local h = history[#history]
  if not h then return end
  history[#history] = nil
  for e in all(h.eaten) do
    grid[e.y][e.x] = t_fish
    fish_left = fish_left + 1
  end
  px = h.x
  py = h.y
  sx = px * 8
  sy = py * 8
  moves = moves - 1
  sfx(snd_undo)
end

function puff(x, y, c, n)
  for i = 1, n do
    add(puffs, {x = x, y = y, dx = rnd(2) - 1, dy = -rnd(1.5),
                life = 10 + flr(rnd(12)), c = c})
  end
end

function _update60()
  frame = (frame + 1) % 25200
  for f in all(flakes) do
    f.y = f.y + f.s
    f.x = f.x + sin(frame / 240 + f.s) * 0.2
    if f.y > 128 then
      f.y = -2
      f.x = rnd(128)
    end
  end
  for p in all(puffs) do
    p.x = p.x + p.dx
    p.y = p.y + p.dy
    p.dy = p.dy + 0.08
    p.life = p.life - 1
    if p.life <= 0 then del(puffs, p) end
  end
  if nudge and nudge > 0 then nudge = nudge - 1 end
  if wait > 0 then wait = wait - 1 end

  if state == "title" then
    update_title()
  elseif state == "play" then
    update_play()
  elseif state == "clear" then
    if wait == 0 and (btnp(4) or btnp(5)) then
      if level == levels then
        state = "done"
        wait = 30
      else
        start_level(level + 1)
      end
    end
  elseif state == "done" then
    if wait == 0 and (btnp(4) or btnp(5)) then
      state = "title"
      wait = 10
    end
  end
end

function update_title()
  if btnp(0) then pick = pick - 1 end
  if btnp(1) then pick = pick + 1 end
  pick = mid(1, pick, reached)
  if wait == 0 and (btnp(4) or btnp(5)) then
    sfx(snd_restart)
    start_level(pick)
  end
end

function update_play()
  if path then
    move_along()
    return
  end
  if btn(4) then
    hold = hold + 1
    if hold >= 45 then
      sfx(snd_restart)
      start_level(level)
      -- keep holding from restarting again and again
      hold = -1000
    end
  else
    hold = 0
  end
  if btnp(5) then
    undo()
    return
  end
  for i = 1, 4 do
    if btnp(i - 1) then
      try_slide(i)
      return
    end
  end
end

function move_along()
  local c = path[step]
  local tx = c.x * 8
  local ty = c.y * 8
  sx = sx + mid(-slide_speed, tx - sx, slide_speed)
  sy = sy + mid(-slide_speed, ty - sy, slide_speed)
  if frame % 3 == 0 then puff(sx + 4, sy + top + 7, 7, 1) end
  if sx ~= tx or sy ~= ty then return end

  px = c.x
  py = c.y
  local v = grid[py][px]
  if v == t_fish then
    grid[py][px] = 0
    fish_left = fish_left - 1
    add(history[#history].eaten, {x = px, y = py})
    puff(sx + 4, sy + top + 4, 9, 8)
    if fish_left == 0 then
      sfx(snd_open)
      open_flash = 40
    else
      sfx(snd_fish)
    end
  end
  step = step + 1
  if step <= #path then return end

  path = nil
  if v == t_hole then
    finish_level()
  elseif v == t_snow then
    sfx(snd_snow)
    puff(sx + 4, sy + top + 6, 7, 10)
  else
    sfx(snd_bump)
    nudge = 4
  end
end

function finish_level()
  state = "clear"
  wait = 40
  sfx(snd_win)
  puff(sx + 4, sy + top + 4, 12, 20)
  puff(sx + 4, sy + top + 4, 7, 12)
  local best = dget(level)
  if best == 0 or moves < best then dset(level, moves) end
  if level < levels and level + 1 > reached then
    reached = level + 1
    dset(0, reached)
  end
  pick = min(level + 1, levels)
end

-- drawing

-- the pixels of a text as printed, to draw it larger later
function text_dots(s)
  cls()
  print(s, 0, 0, 7)
  local dots = {}
  for y = 0, 5 do
    for x = 0, #s * 4 do
      if pget(x, y) == 7 then add(dots, {x = x, y = y}) end
    end
  end
  cls()
  return dots
end

function big_print(dots, x, y, k, c)
  for d in all(dots) do
    rectfill(x + d.x * k, y + d.y * k, x + d.x * k + k - 1, y + d.y * k + k - 1, c)
  end
end

function shadow_print(s, x, y, c)
  print(s, x + 1, y + 1, 1)
  print(s, x, y, c)
end

function centre_print(s, y, c)
  shadow_print(s, 64 - #s * 2, y, c)
end

function open_floor(x, y)
  local v = cell(x, y)
  return v ~= t_rock
end

-- a rock cell is drawn as a snow wall when it borders the floor, and as
-- the night outside otherwise
function edge_rock(x, y)
  for dy = -1, 1 do
    for dx = -1, 1 do
      local nx = x + dx
      local ny = y + dy
      if nx >= 0 and nx <= 15 and ny >= 0 and ny <= 13 and open_floor(nx, ny) then
        return true
      end
    end
  end
  return false
end

function draw_level()
  for y = 0, 13 do
    for x = 0, 15 do
      local v = grid[y][x]
      local dx = x * 8
      local dy = y * 8 + top
      if v == t_rock then
        if edge[y][x] then spr(t_rock, dx, dy) end
      else
        spr(spr_ice, dx, dy)
        if v == t_fish then
          spr(t_fish, dx, dy + sin(frame / 90 + x / 5) * 1)
        elseif v == t_snow then
          spr(t_snow, dx, dy)
        elseif v == t_hole then
          if fish_left > 0 then
            spr(t_hole, dx, dy)
          else
            spr(spr_open, dx, dy)
            if frame % 40 < 20 then pset(dx + 3, dy + 3, 12) end
          end
        end
      end
    end
  end
end

function draw_penguin()
  local n = spr_penguin
  local flip = false
  if facing == 1 then
    n = spr_penguin + 1
    flip = true
  elseif facing == 2 then
    n = spr_penguin + 1
  elseif facing == 3 then
    n = spr_penguin + 2
  end
  local ox = 0
  if nudge and nudge > 0 and not path then
    ox = dirs[facing][1] * (nudge % 2)
  end
  if state == "clear" then
    -- a happy hop at the bottom of the hole
    spr(spr_penguin + 3, sx, sy + top - abs(sin(frame / 40)) * 4)
    return
  end
  spr(n, sx + ox, sy + top, 1, 1, flip)
end

function draw_flakes()
  for f in all(flakes) do
    pset(f.x, f.y, 6)
  end
end

function draw_hud()
  rectfill(0, 0, 127, top - 1, 1)
  line(0, top - 1, 127, top - 1, 13)
  print("level " .. level, 3, 2, 7)
  print("moves " .. moves, 3, 9, 6)
  print("par " .. pars[level], 44, 9, 13)
  -- fish still to eat, and those eaten
  for i = 1, fish_total do
    local x = 128 - i * 9
    if i > fish_left then
      pal(9, 5)
      pal(7, 5)
    end
    spr(t_fish, x, 4)
    pal()
  end
  if hold > 0 then
    rectfill(44, 2, 44 + hold, 5, 8)
    print("restart", 44, 1, 7)
  end
end

function _draw()
  cls(1)
  draw_flakes()
  if state == "title" then
    draw_title()
    return
  end
  if state == "done" then
    draw_done()
    return
  end
  draw_level()
  draw_penguin()
  for p in all(puffs) do
    pset(p.x, p.y, p.c)
  end
  draw_hud()
  if open_flash and open_flash > 0 then
    open_flash = open_flash - 1
    if flr(open_flash / 5) % 2 == 0 then centre_print("the hole is open!", 120, 7) end
  end
  if state == "play" and moves == 0 and level == 1 then
    centre_print("arrows slide", 98, 7)
    centre_print("eat the fish, then dive in", 106, 7)
  end
  if state == "clear" then draw_clear() end
end

function draw_clear()
  rectfill(18, 48, 109, 86, 1)
  rect(18, 48, 109, 86, 12)
  centre_print("level " .. level .. " cleared!", 53, 7)
  local s = "moves " .. moves .. "  par " .. pars[level]
  centre_print(s, 63, 6)
  if moves <= pars[level] then
    centre_print("perfect slide!", 71, 10)
  end
  if wait == 0 and flr(frame / 30) % 2 == 0 then
    centre_print("z/x: next", 79, 12)
  end
end

function draw_title()
  -- a row of the ice with a penguin gliding along it
  for x = 0, 15 do
    spr(t_rock, x * 8, 96)
    spr(spr_ice, x * 8, 88)
  end
  local gx = (frame * 0.8) % 176 - 24
  spr(spr_penguin + 1, gx, 88)
  if flr(frame / 4) % 2 == 0 then pset(gx - 2, 95, 7) end
  spr(t_fish, (gx + 60) % 176 - 24, 88)

  local w = sin(frame / 150) * 2
  rectfill(30, 16 + w, 97, 44 + w, 12)
  rect(30, 16 + w, 97, 44 + w, 7)
  big_print(title_dots, 64 - 30, 20 + w, 3, 1)
  big_print(title_dots, 64 - 30 - 1, 19 + w, 3, 7)
  print("slide, eat, dive", 33, 36 + w, 1)

  local s = "level " .. pick .. " of " .. levels
  centre_print(s, 58, 7)
  if pick > 1 then print("<", 26, 58, 12) end
  if pick < reached then print(">", 98, 58, 12) end
  local best = dget(pick)
  if best > 0 then
    local b = "best " .. best .. "  par " .. pars[pick]
    centre_print(b, 67, 6)
  else
    centre_print("par " .. pars[pick], 67, 6)
  end
  if flr(frame / 30) % 2 == 0 then centre_print("press z or x", 78, 10) end
  centre_print("x undoes, hold z restarts", 112, 13)
end

function draw_done()
  for x = 0, 15 do
    spr(spr_ice, x * 8, 72)
  end
  spr(spr_penguin + 3, 60, 72 - abs(sin(frame / 40)) * 6)
  centre_print("every level cleared!", 40, 10)
  centre_print("the penguin is very full.", 52, 7)
  if wait == 0 and flr(frame / 30) % 2 == 0 then
    centre_print("z/x: back to the title", 96, 12)
  end
end
